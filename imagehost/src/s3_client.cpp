#include "s3_client.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace imagehost {
namespace {

void init_curl_once()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One handle per thread: it keeps the connection to the store open between requests.
CURL* thread_handle()
{
    struct Handle {
        CURL* curl = curl_easy_init();
        ~Handle() { curl_easy_cleanup(curl); }
    };
    thread_local Handle handle;
    curl_easy_reset(handle.curl);
    return handle.curl;
}

struct HeaderList {
    curl_slist* list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    void add(const std::string& line) { list = curl_slist_append(list, line.c_str()); }
};

std::string escape(std::string_view text, bool keep_slashes)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || (keep_slashes && c == '/')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

std::size_t append_to_string(char* data, std::size_t size, std::size_t count, void* out)
{
    auto* text = static_cast<std::string*>(out);
    if (text->size() < 4 * 1024 * 1024)
        text->append(data, size * count);
    return size * count;
}

std::string between(const std::string& text, const std::string& open, const std::string& close, std::size_t& from)
{
    auto start = text.find(open, from);
    if (start == std::string::npos) {
        from = std::string::npos;
        return {};
    }
    start += open.size();
    auto end = text.find(close, start);
    if (end == std::string::npos) {
        from = std::string::npos;
        return {};
    }
    from = end + close.size();
    return text.substr(start, end - start);
}

std::string xml_unescape(std::string text)
{
    const std::pair<const char*, char> entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
    for (const auto& [entity, c] : entities) {
        std::size_t at;
        while ((at = text.find(entity)) != std::string::npos)
            text.replace(at, std::char_traits<char>::length(entity), 1, c);
    }
    return text;
}

std::int64_t parse_iso_time(const std::string& text)
{
    std::tm tm{};
    if (!strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &tm))
        return 0;
    return static_cast<std::int64_t>(timegm(&tm));
}

}  // namespace

S3Client::S3Client(Settings settings) : settings_(std::move(settings))
{
    init_curl_once();
    while (!settings_.endpoint.empty() && settings_.endpoint.back() == '/')
        settings_.endpoint.pop_back();
    encoded_prefix_ = escape(settings_.prefix, true);
}

std::string S3Client::url(const std::string& key) const
{
    return settings_.endpoint + "/" + settings_.bucket + "/" + encoded_prefix_ + escape(key, true);
}

namespace {

// Ends a transfer on which no byte has moved, either way, for the stall
// time: a hung store. (curl's own low-speed limit averages over a window, so a
// PUT whose body went into the socket buffer at once would wait its whole
// timeout for an answer that never comes.)
struct StallWatch {
    std::chrono::steady_clock::duration stall;
    std::chrono::steady_clock::time_point last_move = std::chrono::steady_clock::now();
    curl_off_t last_down = -1;
    curl_off_t last_up = -1;

    static int check(void* context, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up)
    {
        auto* w = static_cast<StallWatch*>(context);
        auto now = std::chrono::steady_clock::now();
        if (down != w->last_down || up != w->last_up) {
            w->last_down = down;
            w->last_up = up;
            w->last_move = now;
            return 0;
        }
        return now - w->last_move > w->stall ? 1 : 0;
    }
};

// What every request shares: signing, timeouts, and the payload hash header
// that curl does not send by itself (the store refuses requests without it).
void prepare(CURL* curl, const S3Client::Settings& s, const std::string& url, HeaderList& headers, StallWatch& watch)
{
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    std::string sigv4 = "aws:amz:" + s.region + ":s3";
    curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, sigv4.c_str());
    // Separately: access keys may contain a colon.
    curl_easy_setopt(curl, CURLOPT_USERNAME, s.access_key.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, s.secret_key.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, s.connect_timeout_seconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, s.timeout_seconds);
    watch.stall = std::chrono::seconds(s.stall_seconds);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &StallWatch::check);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    // Every header given here is signed: an empty one that curl then leaves
    // out (such as "Expect:") would break the signature.
    headers.add("x-amz-content-sha256: UNSIGNED-PAYLOAD");
}

int finish(CURL* curl, HeaderList& headers)
{
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (rc == CURLE_WRITE_ERROR)  // the sink refused: the client is gone
        return -1;
    if (rc != CURLE_OK)
        return 0;
    return static_cast<int>(status);
}

}  // namespace

int S3Client::put_file(const std::string& key, const std::filesystem::path& file, std::uint64_t size,
                       std::string_view content_type)
{
    std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!in)
        return 0;
    CURL* curl = thread_handle();
    HeaderList headers;
    StallWatch watch;
    prepare(curl, settings_, url(key), headers, watch);
    headers.add("Content-Type: " + std::string(content_type));
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READDATA, in.get());
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    return finish(curl, headers);
}

int S3Client::get(const std::string& key, std::uint64_t first, std::uint64_t length, bool whole,
                  const std::function<bool(std::string_view)>& sink)
{
    struct Receiver {
        CURL* curl;
        const std::function<bool(std::string_view)>* sink;
        std::uint64_t skip;  // a store that ignored the range sends the whole object
        bool checked = false;
        bool pass = false;
    } receiver{thread_handle(), &sink, whole ? 0 : first};
    CURL* curl = receiver.curl;
    HeaderList headers;
    StallWatch watch;
    prepare(curl, settings_, url(key), headers, watch);
    if (!whole)
        headers.add("Range: bytes=" + std::to_string(first) + "-" + std::to_string(first + length - 1));
    auto write = +[](char* data, std::size_t size, std::size_t count, void* context) -> std::size_t {
        auto* r = static_cast<Receiver*>(context);
        std::size_t n = size * count;
        if (!r->checked) {
            long status = 0;
            curl_easy_getinfo(r->curl, CURLINFO_RESPONSE_CODE, &status);
            r->pass = status == 200 || status == 206;
            if (status != 200)
                r->skip = 0;  // 206: the range itself
            r->checked = true;
        }
        if (!r->pass)
            return n;  // an error document
        std::string_view bytes(data, n);
        if (r->skip > 0) {
            auto dropped = std::min<std::uint64_t>(r->skip, bytes.size());
            bytes.remove_prefix(static_cast<std::size_t>(dropped));
            r->skip -= dropped;
        }
        if (bytes.empty() || (*r->sink)(bytes))
            return n;
        return 0;
    };
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, static_cast<std::size_t (*)(char*, std::size_t, std::size_t, void*)>(write));
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &receiver);
    return finish(curl, headers);
}

int S3Client::remove(const std::string& key)
{
    CURL* curl = thread_handle();
    HeaderList headers;
    StallWatch watch;
    prepare(curl, settings_, url(key), headers, watch);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "DELETE");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    return finish(curl, headers);
}

int S3Client::list(const std::string& continuation, std::vector<Listed>& keys, std::string& next)
{
    // Sorted and encoded: curl signs the query string as it is given.
    std::string query;
    if (!continuation.empty())
        query += "continuation-token=" + escape(continuation, false) + "&";
    query += "list-type=2&max-keys=1000&prefix=" + escape(settings_.prefix, false);
    CURL* curl = thread_handle();
    HeaderList headers;
    StallWatch watch;
    prepare(curl, settings_, settings_.endpoint + "/" + settings_.bucket + "?" + query, headers, watch);
    std::string body;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append_to_string);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    int status = finish(curl, headers);
    next.clear();
    if (status != 200)
        return status;
    std::size_t at = 0;
    while (at != std::string::npos) {
        std::string item = between(body, "<Contents>", "</Contents>", at);
        if (at == std::string::npos)
            break;
        std::size_t inner = 0;
        std::string key = xml_unescape(between(item, "<Key>", "</Key>", inner));
        inner = 0;
        std::string modified = between(item, "<LastModified>", "</LastModified>", inner);
        if (key.rfind(settings_.prefix, 0) == 0)
            keys.push_back({key.substr(settings_.prefix.size()), parse_iso_time(modified)});
    }
    std::size_t from = 0;
    if (between(body, "<IsTruncated>", "</IsTruncated>", from) == "true") {
        from = 0;
        next = xml_unescape(between(body, "<NextContinuationToken>", "</NextContinuationToken>", from));
    }
    return status;
}

std::pair<std::string, std::string> load_s3_credentials(const std::string& file)
{
    std::string key;
    std::string secret;
    if (!file.empty()) {
        std::ifstream in(file);
        if (!in)
            throw std::runtime_error("cannot read the credentials file " + file);
        std::string line;
        std::string section = "default";
        auto trim = [](std::string s) {
            auto b = s.find_first_not_of(" \t\r");
            auto e = s.find_last_not_of(" \t\r");
            return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
        };
        while (std::getline(in, line)) {
            line = trim(line);
            if (line.empty() || line[0] == '#' || line[0] == ';')
                continue;
            if (line.front() == '[' && line.back() == ']') {
                section = trim(line.substr(1, line.size() - 2));
                continue;
            }
            auto eq = line.find('=');
            if (section != "default" || eq == std::string::npos)
                continue;
            auto name = trim(line.substr(0, eq));
            auto value = trim(line.substr(eq + 1));
            if (name == "aws_access_key_id")
                key = value;
            else if (name == "aws_secret_access_key")
                secret = value;
        }
        if (key.empty() || secret.empty())
            throw std::runtime_error("the credentials file " + file +
                                     " needs aws_access_key_id and aws_secret_access_key in [default]");
        return {key, secret};
    }
    const char* env_key = std::getenv("AWS_ACCESS_KEY_ID");
    const char* env_secret = std::getenv("AWS_SECRET_ACCESS_KEY");
    if (!env_key || !*env_key || !env_secret || !*env_secret)
        throw std::runtime_error("no S3 credentials: set AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY, or --s3-credentials FILE");
    return {env_key, env_secret};
}

}  // namespace imagehost
