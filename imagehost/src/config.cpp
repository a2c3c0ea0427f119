#include "config.h"

#include <limits>
#include <stdexcept>

namespace imagehost {
namespace {

std::uint64_t parse_number(const std::string& flag, const std::string& text, std::uint64_t min, std::uint64_t max)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        throw std::invalid_argument(flag + " needs a whole number, got '" + text + "'");
    std::uint64_t value = std::stoull(text);
    if (value < min || value > max)
        throw std::invalid_argument(flag + " must be from " + std::to_string(min) + " to " + std::to_string(max));
    return value;
}

void parse_listen(const std::string& text, Config& config)
{
    auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw std::invalid_argument("--listen needs HOST:PORT, e.g. 127.0.0.1:8080 or [::1]:8080");
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    config.listen_host = host;
    config.listen_port = static_cast<unsigned short>(parse_number("--listen port", text.substr(colon + 1), 0, 65535));
}

std::vector<std::string> split_addresses(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto comma = text.find(',', start);
        auto item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty())
            out.push_back(item);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (out.empty())
        throw std::invalid_argument("--trust-forwarded-for needs ADDRESS[,ADDRESS...]");
    return out;
}

}  // namespace

std::uint64_t parse_size(const std::string& flag, const std::string& text)
{
    std::string digits = text;
    std::uint64_t unit = 1;
    if (!digits.empty()) {
        switch (digits.back()) {
        case 'K': case 'k': unit = 1ull << 10; break;
        case 'M': case 'm': unit = 1ull << 20; break;
        case 'G': case 'g': unit = 1ull << 30; break;
        case 'T': case 't': unit = 1ull << 40; break;
        default: break;
        }
        if (unit != 1)
            digits.pop_back();
    }
    auto value = parse_number(flag, digits, 0, (1ull << 60) / unit);
    return value * unit;
}

std::string usage()
{
    return "usage: imagehost [flags]\n"
           "  --listen HOST:PORT        address to listen on (default 127.0.0.1:80)\n"
           "  --data-dir DIR            where images and their database live (default ./imagehost-data)\n"
           "  --public-url URL          base of the addresses handed out (default http://localhost)\n"
           "  --max-upload-bytes N      largest accepted image (default 33554432)\n"
           "  --threads N               event loops, one thread each (default 4)\n"
           "  --reap-interval SECONDS   how often expired images are deleted (default 60)\n"
           "  --header-timeout SECONDS  time allowed for a request header (default 10)\n"
           "  --request-timeout SECONDS time allowed to receive a whole request or send a response (default 120)\n"
           "  --max-connections N       open connections beyond this are closed\n"
           "                            (default: half the descriptor limit, less a reserve)\n"
           "  --tls-cert FILE --tls-key FILE  serve https only (PEM; read again on SIGHUP)\n"
           "  --upload-keys FILE        uploads need 'Authorization: Bearer <key>', one key a line\n"
           "  --max-connections-per-address N  (default 64; 0: no limit)\n"
           "  --upload-rate N           uploads a minute per client address, bursts of --upload-burst\n"
           "                            (default 60 and 20; 0: no limit)\n"
           "  --upload-bytes-per-hour SIZE  per client address (default 2G; 0: no limit)\n"
           "  --min-free-disk SIZE      refuse uploads below this much free disk (default 1G; 0: none)\n"
           "  --trust-forwarded-for ADDRESS[,ADDRESS...]  proxies whose X-Forwarded-For names the client\n" +
           engine_usage() +
           "usage: imagehost remove --data-dir DIR ID...   deletes images (and their records) for good\n"
           "       (with the --storage, --s3-* and --database flags for shared engines)\n";
}

Config parse_command_line(const std::vector<std::string>& args)
{
    Config config;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        std::string value;
        auto eq = flag.find('=');
        std::string name = flag.substr(0, eq);
        if (eq != std::string::npos) {
            value = flag.substr(eq + 1);
        } else if (name == "--help" || name == "-h") {
            throw std::invalid_argument(usage());
        } else {
            if (i + 1 >= args.size())
                throw std::invalid_argument(name + " needs a value");
            value = args[++i];
        }
        constexpr auto kMaxU = std::numeric_limits<unsigned>::max();
        if (name == "--listen")
            parse_listen(value, config);
        else if (name == "--data-dir")
            config.data_dir = value;
        else if (name == "--public-url") {
            if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0)
                throw std::invalid_argument("--public-url must start with http:// or https://");
            config.public_url = value;
        } else if (name == "--max-upload-bytes")
            config.max_upload_bytes = parse_number(name, value, 1, 1ull << 40);
        else if (name == "--threads")
            config.threads = static_cast<unsigned>(parse_number(name, value, 1, 256));
        else if (name == "--reap-interval")
            config.reap_interval_seconds = static_cast<unsigned>(parse_number(name, value, 1, kMaxU));
        else if (name == "--header-timeout")
            config.header_timeout_seconds = static_cast<unsigned>(parse_number(name, value, 1, 3600));
        else if (name == "--request-timeout")
            config.request_timeout_seconds = static_cast<unsigned>(parse_number(name, value, 1, 86400));
        else if (name == "--max-connections")
            config.max_connections = static_cast<unsigned>(parse_number(name, value, 1, kMaxU));
        else if (name == "--tls-cert")
            config.tls_cert = value;
        else if (name == "--tls-key")
            config.tls_key = value;
        else if (name == "--upload-keys")
            config.upload_keys = value;
        else if (name == "--max-connections-per-address")
            config.max_connections_per_address = static_cast<unsigned>(parse_number(name, value, 0, kMaxU));
        else if (name == "--upload-rate")
            config.upload_rate_per_minute = static_cast<unsigned>(parse_number(name, value, 0, 1000000));
        else if (name == "--upload-burst")
            config.upload_burst = static_cast<unsigned>(parse_number(name, value, 1, 1000000));
        else if (name == "--upload-bytes-per-hour")
            config.upload_bytes_per_hour = parse_size(name, value);
        else if (name == "--min-free-disk")
            config.min_free_disk = parse_size(name, value);
        else if (name == "--trust-forwarded-for")
            config.trusted_proxies = split_addresses(value);
        else if (!parse_engine_flag(name, value, config.engines))
            throw std::invalid_argument("unknown flag " + name + "\n" + usage());
    }
    check_engine_flags(config.engines);
    if (config.tls_cert.empty() != config.tls_key.empty())
        throw std::invalid_argument("--tls-cert and --tls-key go together");
    return config;
}

}  // namespace imagehost
