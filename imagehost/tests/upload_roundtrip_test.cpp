#include "http_client.h"
#include "test_server.h"

#include <gtest/gtest.h>

#include <fstream>

namespace imagehost::testing {
namespace {

class UploadRoundTrip : public ::testing::Test {
protected:
    TestServer server;
};

TEST_F(UploadRoundTrip, EveryAcceptedFormatComesBackByteIdentical)
{
    const std::pair<const char*, const char*> formats[] = {
        {"png", "image/png"}, {"jpg", "image/jpeg"}, {"gif", "image/gif"}, {"bmp", "image/bmp"}, {"webp", "image/webp"}};
    for (const auto& [extension, mime] : formats) {
        UploadForm form;
        form.file_bytes = fake_image(extension, 5000);
        auto res = upload(server.port(), form);
        ASSERT_EQ(res.status, 200) << extension << ": " << res.body;
        auto address = res.header("uploaded");
        EXPECT_EQ(res.body, address + "\n");
        EXPECT_EQ(address.rfind("http://img.test/", 0), 0u) << address;
        EXPECT_EQ(address.substr(address.size() - std::string(extension).size() - 1), "." + std::string(extension));
        // Header line exactly as the client searches for it.
        EXPECT_EQ(address.size(), std::string("http://img.test/").size() + 32 + 1 + std::string(extension).size());

        auto got = fetch(server.port(), target_of(address));
        EXPECT_EQ(got.status, 200);
        EXPECT_EQ(got.body, form.file_bytes) << extension;
        EXPECT_EQ(got.header("content-type"), mime);
        EXPECT_EQ(got.header("content-length"), std::to_string(form.file_bytes.size()));
        EXPECT_EQ(got.header("x-content-type-options"), "nosniff");
        EXPECT_EQ(got.header("content-security-policy"), "sandbox");
    }
}

TEST_F(UploadRoundTrip, HeadGivesHeadersWithoutBody)
{
    UploadForm form;
    form.file_bytes = fake_image("png", 1234);
    auto address = upload(server.port(), form).header("uploaded");
    auto res = fetch(server.port(), target_of(address), true);
    EXPECT_EQ(res.status, 200);
    EXPECT_EQ(res.header("content-length"), "1234");
    EXPECT_EQ(res.header("content-type"), "image/png");
    EXPECT_EQ(res.header("content-security-policy"), "sandbox");
    EXPECT_TRUE(res.body.empty());

    // Error answers to HEAD carry no body either, so a kept-alive connection stays in step.
    Connection c(server.port());
    ASSERT_TRUE(c.send("HEAD /missing.png HTTP/1.1\r\nHost: x\r\n\r\nGET " + target_of(address) +
                       " HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto missing = c.read_response(true);
    auto next = c.read_response();
    ASSERT_TRUE(missing && next);
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(next->status, 200);
    EXPECT_EQ(next->body, form.file_bytes);
}

TEST_F(UploadRoundTrip, ClientNameAndTypeAreNotTrusted)
{
    UploadForm form;
    form.file_bytes = fake_image("gif", 800);
    form.path = "../../etc/passwd\\..\\x.png";
    form.content_type = "image/png";
    auto res = upload(server.port(), form);
    ASSERT_EQ(res.status, 200) << res.body;
    auto address = res.header("uploaded");
    EXPECT_EQ(address.substr(address.size() - 4), ".gif");
    EXPECT_EQ(fetch(server.port(), target_of(address)).header("content-type"), "image/gif");
    // Stored under its id only.
    auto id = target_of(address).substr(1, 32);
    EXPECT_TRUE(std::filesystem::exists(server.data_dir() / "images" / id));
    EXPECT_EQ(server.count_files("images"), 1u);
    EXPECT_EQ(server.count_files("tmp"), 0u);

    // A quote inside the name breaks the header (no Windows path has one): refused, nothing kept.
    form.path = "a\";.png";
    EXPECT_EQ(upload(server.port(), form).status, 400);
    EXPECT_EQ(server.count_files("images"), 1u);
    EXPECT_EQ(server.count_files("tmp"), 0u);
}

TEST_F(UploadRoundTrip, CurlUploadWithHostileFileNames)
{
    TempDir files;
    auto image = fake_image("jpg", 20000);
    auto path = files.path() / "shot.jpg";
    std::ofstream(path, std::ios::binary) << image;
    for (const char* name : {"C:\\SHOTS\\A.PNG", "../../../tmp/evil.php", "x\\..\\..\\y.jpg", "; rm -rf"}) {
        std::string cmd = "curl -s -S -D - -o /dev/null -F 'file=@" + path.string() +
                          ";type=application/octet-stream;filename=\"" + name + "\"' -F selfdestruct_timeout=3600 " +
                          "http://127.0.0.1:" + std::to_string(server.port()) + "/upload.php";
        int rc = -1;
        auto headers = run_command(cmd, &rc);
        ASSERT_EQ(rc, 0) << name;
        EXPECT_NE(headers.find("HTTP/1.1 200"), std::string::npos) << headers;
        auto at = headers.find("Uploaded: ");
        ASSERT_NE(at, std::string::npos) << headers;
        auto address = headers.substr(at + 10, headers.find("\r\n", at) - at - 10);
        int rc2 = -1;
        auto body = run_command("curl -s -f http://127.0.0.1:" + std::to_string(server.port()) + target_of(address), &rc2);
        EXPECT_EQ(rc2, 0);
        EXPECT_EQ(body, image) << name;
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/evil.php"));
    EXPECT_EQ(server.count_files("images"), 4u);
}

TEST_F(UploadRoundTrip, LargeCurlUploadUsesExpectContinue)
{
    TempDir files;
    auto image = fake_image("png", 3 * 1024 * 1024);
    auto path = files.path() / "big.png";
    std::ofstream(path, std::ios::binary) << image;
    int rc = -1;
    auto out = run_command("curl -s -S -w '%{http_code}' -o /dev/null -F 'file=@" + path.string() +
                               "' http://127.0.0.1:" + std::to_string(server.port()) + "/upload.php",
                           &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, "200");
}

TEST_F(UploadRoundTrip, AcceptsBoundaryVariantsAndKeepAlive)
{
    auto image = fake_image("png", 300);
    std::string boundary = "simple:boundary";
    UploadForm form;
    form.file_bytes = image;
    std::string body = multipart_body(boundary, form);
    std::string request = "POST /upload.php HTTP/1.1\r\nHost: x\r\n"
                          "Content-Type:  Multipart/Form-Data ;  boundary=\"" + boundary + "\"  \r\n"
                          "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    Connection c(server.port());
    ASSERT_TRUE(c.send(request + request));  // pipelined on one connection
    auto first = c.read_response();
    auto second = c.read_response();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->status, 200) << first->body;
    EXPECT_EQ(second->status, 200) << second->body;
    EXPECT_NE(first->header("uploaded"), second->header("uploaded"));
    EXPECT_EQ(fetch(server.port(), target_of(second->header("uploaded"))).body, image);
}

TEST_F(UploadRoundTrip, RootAnswersForHealthChecks)
{
    auto res = fetch(server.port(), "/");
    EXPECT_EQ(res.status, 200);
    EXPECT_NE(res.body.find("/upload.php"), std::string::npos);
}

}  // namespace
}  // namespace imagehost::testing
