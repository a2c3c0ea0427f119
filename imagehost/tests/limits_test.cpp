#include "http_client.h"
#include "image_address.h"
#include "test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace imagehost::testing {
namespace {

using namespace std::chrono_literals;

class Limits : public ::testing::Test {
protected:
    TestServer server{[](Config& c) {
        c.max_upload_bytes = 100 * 1024;
        c.request_timeout_seconds = 2;
        c.header_timeout_seconds = 2;
    }};

    void expect_no_stray_files()
    {
        // The refusal may be written (or a dropped connection noticed) before
        // the session lets go of its pending file.
        for (int i = 0; i < 50 && server.count_files("tmp") + server.count_files("images") != 0; ++i)
            std::this_thread::sleep_for(20ms);
        EXPECT_EQ(server.count_files("tmp"), 0u);
        EXPECT_EQ(server.count_files("images"), 0u);
    }

    HttpResponse raw_request(const std::string& bytes)
    {
        Connection c(server.port());
        c.send(bytes);
        auto res = c.read_response();
        if (!res)
            throw std::runtime_error("no response");
        return *res;
    }
};

TEST_F(Limits, OversizedImageIs413)
{
    UploadForm form;
    form.file_bytes = fake_image("png", 100 * 1024 + 1);
    auto res = upload(server.port(), form);
    EXPECT_EQ(res.status, 413);
    EXPECT_NE(res.body.find("larger than 102400"), std::string::npos) << res.body;
    expect_no_stray_files();

    form.file_bytes.resize(100 * 1024);  // exactly at the limit is fine
    EXPECT_EQ(upload(server.port(), form).status, 200);
}

TEST_F(Limits, HugeDeclaredLengthIsRefusedBeforeTheBodyIsSent)
{
    Connection c(server.port());
    auto boundary = make_boundary();
    ASSERT_TRUE(c.send("POST /upload.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=" +
                       boundary + "\r\nContent-Length: 10000000000\r\n\r\n"));
    auto res = c.read_response();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
    EXPECT_EQ(res->header("connection"), "close");
    expect_no_stray_files();
}

TEST_F(Limits, BadInputsGetOneLineReasons)
{
    struct Case {
        const char* what;
        UploadForm form;
        int status;
        const char* reason;
    };
    auto with = [](std::string bytes, std::optional<std::string> timeout) {
        UploadForm f;
        f.file_bytes = std::move(bytes);
        f.self_destruct = std::move(timeout);
        return f;
    };
    const Case cases[] = {
        {"text file", with("hello, this is not an image at all", {}), 415, "only PNG, JPEG, GIF, BMP and WebP"},
        {"svg", with("<svg xmlns=\"http://www.w3.org/2000/svg\"><script/></svg>", {}), 415, "only PNG"},
        {"empty file", with("", {}), 415, "only PNG"},
        {"timeout too small", with(fake_image("png", 100), "59"), 400, "selfdestruct_timeout"},
        {"timeout too large", with(fake_image("png", 100), "31536001"), 400, "selfdestruct_timeout"},
        {"timeout not a number", with(fake_image("png", 100), "1h"), 400, "selfdestruct_timeout"},
        {"timeout negative", with(fake_image("png", 100), "-3600"), 400, "selfdestruct_timeout"},
        {"timeout empty", with(fake_image("png", 100), ""), 400, "selfdestruct_timeout"},
        {"timeout huge", with(fake_image("png", 100), std::string(100, '9')), 400, "selfdestruct_timeout"},
    };
    for (const auto& c : cases) {
        auto res = upload(server.port(), c.form);
        EXPECT_EQ(res.status, c.status) << c.what;
        EXPECT_NE(res.body.find(c.reason), std::string::npos) << c.what << ": " << res.body;
        EXPECT_EQ(res.body.find('\n'), res.body.size() - 1) << c.what;
        EXPECT_TRUE(res.header("uploaded").empty());
    }
    expect_no_stray_files();
}

TEST_F(Limits, MissingFilePartIs400)
{
    auto boundary = make_boundary();
    std::string body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"selfdestruct_timeout\"\r\n\r\n3600\r\n--" +
                       boundary + "--\r\n";
    auto res = raw_request(upload_request(boundary, body));
    EXPECT_EQ(res.status, 400);
    EXPECT_EQ(res.body, "missing file part\n");
    expect_no_stray_files();
}

TEST_F(Limits, MalformedRequestsAreRefused)
{
    auto boundary = make_boundary();
    UploadForm form;
    form.file_bytes = fake_image("png", 2000);
    std::string good = multipart_body(boundary, form);
    std::string unterminated = good.substr(0, good.size() - 10);
    std::string bad_delimiter = good;
    bad_delimiter.insert(2 + boundary.size(), "garbage");
    auto post = [&](const std::string& headers, const std::string& body) {
        return "POST /upload.php HTTP/1.1\r\nHost: x\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
               "\r\n\r\n" + body;
    };
    const std::string ct = "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n";
    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"no closing delimiter", post(ct, unterminated), 400},
        {"broken delimiter line", post(ct, bad_delimiter), 400},
        {"no boundary", post("Content-Type: multipart/form-data\r\n", good), 400},
        {"not multipart", post("Content-Type: image/png\r\n", form.file_bytes), 400},
        {"gzip body", post(ct + "Content-Encoding: gzip\r\n", good), 415},
        {"chunked body", "POST /upload.php HTTP/1.1\r\nHost: x\r\n" + ct + "Transfer-Encoding: chunked\r\n\r\n10\r\n", 411},
        {"no length", "POST /upload.php HTTP/1.1\r\nHost: x\r\n" + ct + "\r\n", 411},
        {"bad HTTP", "BREW /pot HTCPCP/1.0 \r\n\r\n", 400},
        {"unknown method", "DELETE /upload.php HTTP/1.1\r\nHost: x\r\n\r\n", 405},
        {"post elsewhere", post(ct, good).replace(5, 11, "/index.php?"), 404},
    };
    for (const auto& c : cases) {
        auto res = raw_request(c.request);
        EXPECT_EQ(res.status, c.status) << c.what << ": " << res.body;
    }
    expect_no_stray_files();
}

TEST_F(Limits, OversizedHeadersAre431)
{
    auto boundary = make_boundary();
    std::string long_line = "X-Filler: " + std::string(64 * 1024, 'a') + "\r\n";
    std::string many_lines;
    for (int i = 0; i < 5000; ++i)
        many_lines += "X-" + std::to_string(i) + ": y\r\n";
    for (const auto& filler : {long_line, many_lines}) {
        Connection c(server.port());
        // The server stops reading at its limit; part of this may never be read.
        c.send("GET / HTTP/1.1\r\nHost: x\r\n" + filler + "\r\n");
        auto res = c.read_response();
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 431);
    }
}

TEST_F(Limits, ClientThatStopsHalfWayLeavesNothing)
{
    auto boundary = make_boundary();
    UploadForm form;
    form.file_bytes = fake_image("png", 90 * 1024);
    auto request = upload_request(boundary, multipart_body(boundary, form));
    {
        Connection c(server.port());
        ASSERT_TRUE(c.send(request.substr(0, request.size() / 2)));
        std::this_thread::sleep_for(100ms);  // let the server start the pending file
    }  // closed half-way
    expect_no_stray_files();
}

TEST_F(Limits, ClientThatStallsIsTimedOut)
{
    auto boundary = make_boundary();
    UploadForm form;
    form.file_bytes = fake_image("png", 90 * 1024);
    auto request = upload_request(boundary, multipart_body(boundary, form));
    Connection c(server.port(), 5s);
    ASSERT_TRUE(c.send(request.substr(0, request.size() / 2)));
    auto started = std::chrono::steady_clock::now();
    auto res = c.read_response();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 408);
    EXPECT_TRUE(c.closed_by_server());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
    expect_no_stray_files();

    Connection idle(server.port(), 5s);  // says nothing at all
    EXPECT_TRUE(idle.closed_by_server());
}

TEST_F(Limits, OnlyWellFormedAddressesAreServed)
{
    UploadForm form;
    form.file_bytes = fake_image("png", 500);
    auto target = target_of(upload(server.port(), form).header("uploaded"));
    auto id = target.substr(1, 32);
    std::string upper = id;
    for (auto& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::string refused[] = {
        "/images.sqlite3",
        "/../images.sqlite3",
        "/images/" + id,
        "/%2e%2e/images.sqlite3",
        "/..%2fimages.sqlite3",
        "/" + id,
        "/" + id + ".jpg",  // right id, wrong type
        "/" + id + ".PNG",
        "/" + upper + ".png",
        "/" + id + "%2epng",
        "/" + id + ".png/..",
        "/" + id + ".png%00",
        "/" + new_image_id() + ".png",
        "/tmp/",
        "http://img.test/" + id + ".png",
    };
    for (const auto& t : refused)
        EXPECT_EQ(fetch(server.port(), t).status, 404) << t;
    EXPECT_EQ(fetch(server.port(), target).status, 200);
}

}  // namespace
}  // namespace imagehost::testing
