#include "engine_config.h"

#include <stdexcept>

namespace imagehost {

std::string engine_usage()
{
    return "  --storage s3://BUCKET[/PREFIX] keep images in an S3-compatible bucket (default: --data-dir)\n"
           "  --s3-endpoint URL         the bucket's server, e.g. https://s3.example.org (path-style)\n"
           "  --s3-region NAME          region the requests are signed for (default us-east-1)\n"
           "  --s3-credentials FILE     access key file ([default] aws_access_key_id / aws_secret_access_key);\n"
           "                            default: AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY\n"
           "  --database postgresql://... keep records in PostgreSQL (default: SQLite in --data-dir)\n"
           "  --orphan-grace SECONDS    age after which a stored object without a record is removed (default 900)\n";
}

bool parse_engine_flag(const std::string& name, const std::string& value, EngineConfig& engines)
{
    if (name == "--storage") {
        if (value.rfind("s3://", 0) != 0 || value.size() <= 5)
            throw std::invalid_argument("--storage needs s3://BUCKET[/PREFIX]");
        engines.storage = value;
    } else if (name == "--s3-endpoint") {
        if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0)
            throw std::invalid_argument("--s3-endpoint must start with http:// or https://");
        engines.s3_endpoint = value;
    } else if (name == "--s3-region") {
        if (value.empty())
            throw std::invalid_argument("--s3-region needs a name");
        engines.s3_region = value;
    } else if (name == "--s3-credentials") {
        engines.s3_credentials_file = value;
    } else if (name == "--database") {
        if (value.rfind("postgresql://", 0) != 0 && value.rfind("postgres://", 0) != 0)
            throw std::invalid_argument("--database needs a postgresql:// address");
        engines.database = value;
    } else if (name == "--orphan-grace") {
        if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
            throw std::invalid_argument("--orphan-grace needs a whole number of seconds");
        engines.orphan_grace_seconds = static_cast<unsigned>(std::stoul(value));
    } else {
        return false;
    }
    return true;
}

void check_engine_flags(const EngineConfig& engines)
{
    if (engines.remote_storage() && engines.s3_endpoint.empty())
        throw std::invalid_argument("--storage s3://... needs --s3-endpoint");
    if (!engines.remote_storage() && !engines.s3_endpoint.empty())
        throw std::invalid_argument("--s3-endpoint needs --storage s3://...");
    // Instances sharing the records must share the images too: a local
    // directory would hold only its own instance's images.
    if (engines.shared_database() && !engines.remote_storage())
        throw std::invalid_argument("--database postgresql://... needs --storage s3://... (images every instance can read)");
}

}  // namespace imagehost
