#include "clock.h"
#include "config.h"
#include "descriptor_limit.h"
#include "server.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    imagehost::Config config;
    try {
        config = imagehost::parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }

    // Block the stop signals before any worker thread exists, so that only
    // the sigwait below receives them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Every connection that moves an image needs two descriptors; a shell's
    // default soft limit (often 1024) would cap the service needlessly.
    auto descriptors = imagehost::raise_descriptor_limit();

    try {
        imagehost::SystemClock clock;
        imagehost::Server server(config, clock);
        std::printf("imagehost: descriptor limit %llu, connection cap %u%s\n",
                    static_cast<unsigned long long>(descriptors), server.connection_cap(),
                    config.max_connections ? " (--max-connections)" : "");
        server.start();
        std::printf("imagehost listening on %s:%u, data in %s, addresses under %s\n", config.listen_host.c_str(),
                    server.port(), config.data_dir.c_str(), config.public_url.c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stop_signals, &signal);
        std::printf("imagehost stopping on signal %d\n", signal);
        std::fflush(stdout);
        server.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "imagehost: %s\n", e.what());
        return 1;
    }
    return 0;
}
