#include "config.h"
#include "image_address.h"
#include "image_type.h"
#include "upload_receiver.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

namespace imagehost {
namespace {

using namespace std::string_literals;

TEST(ImageSniffing, RecognisesTheFiveFormatsByContent)
{
    struct Case {
        std::string head;
        const char* mime;
        const char* extension;
    };
    const Case cases[] = {
        {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s, "image/png", "png"},
        {"\xff\xd8\xff\xe1\0\0Exif"s, "image/jpeg", "jpg"},
        {"GIF87a\1\0\1\0"s, "image/gif", "gif"},
        {"GIF89a\1\0\1\0"s, "image/gif", "gif"},
        {"BM\0\0\0\0\0\0\0\0\0\0\0\0\x7c\0\0\0"s, "image/bmp", "bmp"},
        {"RIFF\0\0\0\0WEBPVP8L"s, "image/webp", "webp"},
    };
    for (const auto& c : cases) {
        auto type = sniff_image_type(c.head);
        ASSERT_TRUE(type) << c.extension;
        EXPECT_EQ(type->mime, c.mime);
        EXPECT_EQ(type->extension, c.extension);
    }
}

TEST(ImageSniffing, RefusesEverythingElse)
{
    const std::string refused[] = {
        "",
        "\x89PNG\r\n\x1a"s,                     // truncated signature
        "<svg xmlns='http://www.w3.org/2000/svg'>",
        "<html><script>alert(1)</script>",
        "BMW is not a bitmap, nor is this text",  // "BM" without a DIB header
        "RIFF\0\0\0\0WAVEfmt "s,                 // RIFF, but audio
        "GIF90a",
        "%PDF-1.7",
        "II*\0"s,  // TIFF is not accepted
    };
    for (const auto& head : refused)
        EXPECT_FALSE(sniff_image_type(head)) << head;
}

TEST(ImageAddress, IdsAreRandomHexOf128Bits)
{
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        auto id = new_image_id();
        EXPECT_TRUE(is_well_formed_id(id)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(ImageAddress, OnlyWellFormedTargetsResolve)
{
    std::string id = new_image_id();
    auto ok = parse_image_target("/" + id + ".webp");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->id, id);
    EXPECT_EQ(ok->extension, "webp");

    const std::string refused[] = {
        "/",
        "/" + id,
        "/" + id + ".",
        "/" + id + ".PNG",
        "/" + id + ".svg",
        "/" + id + ".png.png",
        "/" + id + ".png?x=1",
        "/" + id + ".png/",
        "//" + id + ".png",
        "/images/" + id,
        "/../" + id + ".png",
        "/%2e%2e%2f" + id + ".png",
        "/" + id.substr(1) + ".png",
        "/" + id + "0.png",
        "/" + std::string(32, 'G') + ".png",
        "/" + std::string(32, 'A') + ".png",
        id + ".png",
    };
    for (const auto& target : refused)
        EXPECT_FALSE(parse_image_target(target)) << target;
}

TEST(SelfDestruct, AcceptsWholeSecondsFromOneMinuteToOneYear)
{
    EXPECT_EQ(parse_self_destruct("60"), 60);
    EXPECT_EQ(parse_self_destruct("3600"), 3600);
    EXPECT_EQ(parse_self_destruct("31536000"), 31536000);
    for (const char* bad : {"", "59", "0", "31536001", "-60", "+60", "60.0", "1e3", " 60", "60 ", "abc",
                            "99999999999999999999"})
        EXPECT_FALSE(parse_self_destruct(bad)) << bad;
}

TEST(CommandLine, DefaultsAndFlags)
{
    auto d = parse_command_line({});
    EXPECT_EQ(d.listen_host, "127.0.0.1");
    EXPECT_EQ(d.listen_port, 80);
    EXPECT_EQ(d.public_url, "http://localhost");
    EXPECT_EQ(d.max_upload_bytes, 32u * 1024 * 1024);

    auto c = parse_command_line({"--listen", "[::1]:8080", "--data-dir=/srv/img", "--public-url", "https://i.example",
                                 "--max-upload-bytes", "1000", "--threads", "4", "--reap-interval", "5"});
    EXPECT_EQ(c.listen_host, "::1");
    EXPECT_EQ(c.listen_port, 8080);
    EXPECT_EQ(c.data_dir, "/srv/img");
    EXPECT_EQ(c.public_url, "https://i.example");
    EXPECT_EQ(c.max_upload_bytes, 1000u);
    EXPECT_EQ(c.threads, 4u);
    EXPECT_EQ(c.reap_interval_seconds, 5u);
}

TEST(CommandLine, RejectsBadFlags)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--nope", "1"},     {"--listen", "8080"},         {"--listen", "host:99999"},
        {"--threads", "0"},  {"--max-upload-bytes", "-1"}, {"--public-url", "ftp://x"},
        {"--data-dir"},      {"--help"},
    };
    for (const auto& args : bad)
        EXPECT_THROW(parse_command_line(args), std::invalid_argument) << args[0];
}

}  // namespace
}  // namespace imagehost
