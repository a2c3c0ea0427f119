#include "clock.h"
#include "config.h"
#include "descriptor_limit.h"
#include "image_service.h"
#include "server.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// `imagehost remove --data-dir DIR ID...`: an operator's take-down. Works
// while the server runs: the image stops being served at once (its file goes
// first) and the server drops the record it kept within a second.
int remove_images(const std::vector<std::string>& args)
{
    imagehost::Config config;
    std::filesystem::path& data_dir = config.data_dir;
    std::vector<std::string> ids;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--data-dir" && i + 1 < args.size())
                data_dir = args[++i];
            else if (args[i].rfind("--data-dir=", 0) == 0)
                data_dir = args[i].substr(11);
            else if (args[i].rfind("--", 0) == 0 && i + 1 < args.size() &&
                     imagehost::parse_engine_flag(args[i], args[i + 1], config.engines))
                ++i;  // images and records on shared engines
            else if (args[i].rfind("--", 0) == 0) {
                std::fprintf(stderr, "usage: imagehost remove --data-dir DIR ID...\n");
                return 2;
            } else
                ids.push_back(args[i]);
        }
        imagehost::check_engine_flags(config.engines);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    if (ids.empty()) {
        std::fprintf(stderr, "usage: imagehost remove --data-dir DIR ID...\n");
        return 2;
    }
    if (!config.engines.shared_database() && !std::filesystem::exists(data_dir / "images.sqlite3")) {
        std::fprintf(stderr, "imagehost: no image database in %s\n", data_dir.c_str());
        return 1;
    }
    int status = 0;
    try {
        imagehost::SystemClock clock;
        config.public_url = "http://localhost";
        imagehost::ImageService service(config, clock);
        for (const auto& given : ids) {
            // An address or a file name is as good as an id: ".../<id>.png" -> <id>.
            std::string id = given.substr(given.rfind('/') == std::string::npos ? 0 : given.rfind('/') + 1);
            id = id.substr(0, id.find('.'));
            if (service.remove(id)) {
                std::printf("removed %s\n", id.c_str());
            } else {
                std::fprintf(stderr, "imagehost: no image %s\n", given.c_str());
                status = 1;
            }
        }
        service.stop_committing();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "imagehost: %s\n", e.what());
        return 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::string(argv[1]) == "remove")
        return remove_images(std::vector<std::string>(argv + 2, argv + argc));
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
    sigaddset(&stop_signals, SIGHUP);
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
        // SIGHUP: a renewed certificate or changed upload keys, without a restart.
        while (sigwait(&stop_signals, &signal) == 0 && signal == SIGHUP) {
            try {
                server.reload();
                std::fprintf(stderr, "imagehost: reloaded on SIGHUP (%zu upload keys%s)\n", server.upload_key_count(),
                             config.tls_cert.empty() ? "" : ", TLS certificate and key");
            } catch (const std::exception& e) {
                std::fprintf(stderr, "imagehost: reload on SIGHUP failed: %s\n", e.what());
            }
        }
        std::printf("imagehost stopping on signal %d\n", signal);
        std::fflush(stdout);
        server.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "imagehost: %s\n", e.what());
        return 1;
    }
    return 0;
}
