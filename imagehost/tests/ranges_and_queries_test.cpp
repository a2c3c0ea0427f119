#include "byte_range.h"
#include "image_address.h"
#include "http_client.h"
#include "test_server.h"

#include <gtest/gtest.h>

namespace imagehost::testing {
namespace {

TEST(ByteRange, DecidesWhatToSendForOneRange)
{
    struct Case {
        const char* header;
        RangeDecision::Kind kind;
        std::uint64_t first;
        std::uint64_t length;
    };
    constexpr auto W = RangeDecision::Whole;
    constexpr auto P = RangeDecision::Partial;
    constexpr auto U = RangeDecision::Unsatisfiable;
    const Case cases[] = {
        {"", W, 0, 0},
        {"bytes=0-99", P, 0, 100},
        {"bytes=0-0", P, 0, 1},
        {"bytes=100-", P, 100, 900},
        {"bytes=-50", P, 950, 50},
        {"bytes=-5000", P, 0, 1000},      // longer suffix than the image: all of it
        {"bytes=990-5000", P, 990, 10},   // end past the image: clipped
        {"bytes=999-999", P, 999, 1},
        {"Bytes=10-19", P, 10, 10},      // the unit in any letter case
        {"bytes=1000-", U, 0, 0},         // starts at the end
        {"bytes=5000-6000", U, 0, 0},
        {"bytes=-0", U, 0, 0},
        {"bytes=99999999999999999999999-", U, 0, 0},  // beyond 64 bits is still beyond the image
        {"bytes=0-1,5-6", W, 0, 0},       // several ranges: the whole image instead
        {"bytes=5-4", W, 0, 0},           // inverted: invalid, ignored
        {"bytes=abc", W, 0, 0},
        {"bytes=1-2-3", W, 0, 0},
        {"bytes=-", W, 0, 0},
        {"bytes=+1-2", W, 0, 0},
        {"items=0-1", W, 0, 0},
        {"bytes 0-1", W, 0, 0},
    };
    for (const auto& c : cases) {
        auto d = decide_range(c.header, 1000);
        EXPECT_EQ(d.kind, c.kind) << c.header;
        if (c.kind == P) {
            EXPECT_EQ(d.first, c.first) << c.header;
            EXPECT_EQ(d.length, c.length) << c.header;
        }
    }
}

class RangesAndQueries : public ::testing::Test {
protected:
    void SetUp() override
    {
        UploadForm form;
        form.file_bytes = image;
        auto res = upload(server.port(), form);
        ASSERT_EQ(res.status, 200) << res.body;
        target = target_of(res.header("uploaded"));
    }

    HttpResponse get(const std::string& path, const std::string& headers = "", bool head = false)
    {
        Connection c(server.port());
        c.send((head ? "HEAD " : "GET ") + path + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
        auto res = c.read_response(head);
        if (!res)
            throw std::runtime_error("no response");
        return *res;
    }

    TestServer server;
    std::string image = fake_image("jpg", 5000);
    std::string target;
};

TEST_F(RangesAndQueries, QueryStringIsIgnoredForImagesAndRoot)
{
    for (const std::string query : {"?", "?v=2", "?utm_source=mail&x=%2e%2e/..", "?qqqqqqqqqqqqqqqqqqqqqqqqqqqqq"}) {
        auto res = get(target + query);
        EXPECT_EQ(res.status, 200) << query;
        EXPECT_EQ(res.body, image) << query;
        EXPECT_EQ(res.header("content-type"), "image/jpeg");
        auto head = get(target + query, "", true);
        EXPECT_EQ(head.status, 200) << query;
        EXPECT_EQ(head.header("content-length"), "5000");
    }
    EXPECT_EQ(get("/?check=1").status, 200);
    // The query never rescues a path that is not an address.
    EXPECT_EQ(get("/" + new_image_id() + ".jpg?x=1").status, 404);
    EXPECT_EQ(get(target.substr(0, 33) + "png?x=1").status, 404);
    EXPECT_EQ(get("/images.sqlite3?x=1").status, 404);
    EXPECT_EQ(get("/%2e%2e/images.sqlite3?" + target).status, 404);
}

TEST_F(RangesAndQueries, SingleRangesGetPartialContent)
{
    EXPECT_EQ(get(target).header("accept-ranges"), "bytes");
    struct Case {
        std::string range;
        std::size_t first;
        std::size_t length;
    };
    const Case cases[] = {
        {"bytes=0-99", 0, 100},
        {"bytes=4000-", 4000, 1000},
        {"bytes=-10", 4990, 10},
        {"bytes=4990-9999", 4990, 10},  // past the end: clipped to the image
    };
    for (const auto& c : cases) {
        auto res = get(target + "?q=1", "Range: " + c.range + "\r\n");
        EXPECT_EQ(res.status, 206) << c.range;
        EXPECT_EQ(res.body, image.substr(c.first, c.length)) << c.range;
        EXPECT_EQ(res.header("content-length"), std::to_string(c.length)) << c.range;
        EXPECT_EQ(res.header("content-range"), "bytes " + std::to_string(c.first) + "-" +
                                                   std::to_string(c.first + c.length - 1) + "/5000")
            << c.range;
        EXPECT_EQ(res.header("content-type"), "image/jpeg");
    }
    auto head = get(target, "Range: bytes=10-19\r\n", true);
    EXPECT_EQ(head.status, 206);
    EXPECT_EQ(head.header("content-length"), "10");
    EXPECT_TRUE(head.body.empty());
}

TEST_F(RangesAndQueries, RangePastTheEndIs416)
{
    for (const char* range : {"bytes=5000-", "bytes=5000-5001", "bytes=123456789-", "bytes=-0"}) {
        auto res = get(target, std::string("Range: ") + range + "\r\n");
        EXPECT_EQ(res.status, 416) << range;
        EXPECT_EQ(res.header("content-range"), "bytes */5000") << range;
    }
}

TEST_F(RangesAndQueries, OtherRangesGetTheWholeImage)
{
    for (const char* headers : {"Range: bytes=0-1,10-20\r\n", "Range: bytes=9-2\r\n", "Range: lines=1-2\r\n",
                                "Range: bytes=x-y\r\n",
                                // No validators are handed out, so an If-Range can never match.
                                "Range: bytes=0-1\r\nIf-Range: \"abc\"\r\n"}) {
        auto res = get(target, headers);
        EXPECT_EQ(res.status, 200) << headers;
        EXPECT_EQ(res.body, image) << headers;
    }
}

TEST_F(RangesAndQueries, ConnectionStaysInStepAcrossPartialAnswers)
{
    Connection c(server.port());
    ASSERT_TRUE(c.send("GET " + target + "?a HTTP/1.1\r\nHost: x\r\nRange: bytes=1-3\r\n\r\n"
                       "GET " + target + " HTTP/1.1\r\nHost: x\r\nRange: bytes=9000-\r\n\r\n"
                       "GET " + target + "?b HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto partial = c.read_response();
    auto refused = c.read_response();
    auto whole = c.read_response();
    ASSERT_TRUE(partial && refused && whole);
    EXPECT_EQ(partial->status, 206);
    EXPECT_EQ(partial->body, image.substr(1, 3));
    EXPECT_EQ(refused->status, 416);
    EXPECT_EQ(whole->status, 200);
    EXPECT_EQ(whole->body, image);
}

}  // namespace
}  // namespace imagehost::testing
