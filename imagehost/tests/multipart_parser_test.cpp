#include "multipart_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace imagehost {
namespace {

// Writes every event into a transcript, so that two parses can be compared.
class Transcript final : public MultipartHandler {
public:
    bool on_part_begin(const PartHeaders& h) override
    {
        log += "[begin name=" + h.name + " filename=" + h.filename.value_or("<none>") + " type=" + h.content_type + "]";
        return refuse_part != h.name;
    }
    bool on_part_data(std::string_view data) override
    {
        log.append(data);
        return true;
    }
    bool on_part_end() override
    {
        log += "[end]";
        return true;
    }
    std::string log;
    std::string refuse_part;
};

const std::string kBoundary = "---------------------------0029482318BE";

std::string client_body(const std::string& file_bytes)
{
    return "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"selfdestruct_timeout\"\r\n\r\n3600\r\n" +
           "--" + kBoundary +
           "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"C:\\SHOTS\\A.PNG\"\r\n"
           "Content-Type: application/octet-stream\r\n\r\n" +
           file_bytes + "\r\n--" + kBoundary + "--\r\n";
}

struct ParseResult {
    bool ok;
    bool finished;
    std::string log;
    std::string error;
};

ParseResult parse_in_pieces(const std::string& body, std::size_t piece, MultipartLimits limits = {})
{
    Transcript t;
    MultipartParser p(kBoundary, t, limits);
    bool ok = true;
    for (std::size_t at = 0; at < body.size() && ok; at += piece)
        ok = p.feed(std::string_view(body).substr(at, piece));
    return {ok, p.finished(), t.log, p.error()};
}

TEST(MultipartParser, ReadsTheClientFormatExactly)
{
    auto r = parse_in_pieces(client_body("PNGDATA"), 1 << 20);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.log,
              "[begin name=selfdestruct_timeout filename=<none> type=]3600[end]"
              "[begin name=file filename=C:\\SHOTS\\A.PNG type=application/octet-stream]PNGDATA[end]");
}

TEST(MultipartParser, AnySplitOfTheInputGivesTheSameParts)
{
    // Content full of near-delimiters: CR LF, hyphens and a boundary prefix.
    std::string tricky = "\r\n--" + kBoundary.substr(0, 20) + "\r\n-\r\r\n--\r\n" + kBoundary + "x\r\n--";
    std::string body = client_body(tricky);
    auto whole = parse_in_pieces(body, body.size());
    ASSERT_TRUE(whole.finished) << whole.error;
    EXPECT_NE(whole.log.find(tricky), std::string::npos);
    for (std::size_t piece = 1; piece <= 64; ++piece) {
        auto split = parse_in_pieces(body, piece);
        EXPECT_TRUE(split.finished) << "piece " << piece;
        EXPECT_EQ(split.log, whole.log) << "piece " << piece;
    }
}

TEST(MultipartParser, AcceptsPreambleEpilogueAndTransportPadding)
{
    std::string body = "preamble text\r\n--" + kBoundary + "  \t\r\nContent-Disposition: form-data; name=a\r\n\r\nv\r\n--" +
                       kBoundary + "--\r\nepilogue";
    auto r = parse_in_pieces(body, 3);
    EXPECT_TRUE(r.finished) << r.error;
    EXPECT_EQ(r.log, "[begin name=a filename=<none> type=]v[end]");
}

TEST(MultipartParser, EmptyValueAndEmptyFile)
{
    std::string body = "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"e\"\r\n\r\n\r\n--" + kBoundary + "--";
    auto r = parse_in_pieces(body, 1);
    EXPECT_TRUE(r.finished) << r.error;
    EXPECT_EQ(r.log, "[begin name=e filename=<none> type=][end]");
}

TEST(MultipartParser, RefusesMalformedBodies)
{
    struct Case {
        const char* what;
        std::string body;
        const char* error;
    };
    const Case cases[] = {
        {"garbage after delimiter", "--" + kBoundary + "junk\r\n", "delimiter"},
        {"no disposition", "--" + kBoundary + "\r\nContent-Type: text/plain\r\n\r\nx\r\n--" + kBoundary + "--", "name"},
        {"not form-data", "--" + kBoundary + "\r\nContent-Disposition: attachment; name=a\r\n\r\n", "form-data"},
        {"header without colon", "--" + kBoundary + "\r\nnonsense\r\n\r\n", "header"},
        {"unclosed quote", "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"a\r\n\r\n", "Disposition"},
    };
    for (const auto& c : cases) {
        auto r = parse_in_pieces(c.body, 2);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
    }
}

TEST(MultipartParser, UnterminatedBodyIsNotFinished)
{
    std::string body = client_body("DATA");
    body.resize(body.size() - 10);
    auto r = parse_in_pieces(body, 7);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.finished);
}

TEST(MultipartParser, EnforcesHeaderAndPartLimits)
{
    MultipartLimits limits;
    limits.max_header_bytes = 100;
    limits.max_parts = 2;
    std::string long_header = "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + std::string(200, 'n') + "\"";
    auto r = parse_in_pieces(long_header, 5, limits);  // never terminated: caught while growing
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("too large"), std::string::npos);

    std::string three_parts;
    for (int i = 0; i < 3; ++i)
        three_parts += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=p\r\n\r\nx\r\n";
    r = parse_in_pieces(three_parts + "--" + kBoundary + "--", 4, limits);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("too many"), std::string::npos);
}

TEST(MultipartParser, HandlerRefusalStopsTheParse)
{
    Transcript t;
    t.refuse_part = "selfdestruct_timeout";
    MultipartParser p(kBoundary, t);
    EXPECT_FALSE(p.feed(client_body("DATA")));
    EXPECT_FALSE(p.feed("more"));
    EXPECT_EQ(t.log.find("DATA"), std::string::npos);
}

TEST(MultipartBoundary, ReadsTheBoundaryParameter)
{
    EXPECT_EQ(multipart_boundary("multipart/form-data; boundary=" + kBoundary), kBoundary);
    EXPECT_EQ(multipart_boundary("Multipart/Form-Data;BOUNDARY=\"a b:c\""), "a b:c");
    EXPECT_EQ(multipart_boundary("multipart/form-data ;\t charset=utf-8 ; boundary = xyz "), "xyz");
}

TEST(MultipartBoundary, RejectsMissingOrInvalidBoundaries)
{
    EXPECT_FALSE(multipart_boundary("multipart/form-data"));
    EXPECT_FALSE(multipart_boundary("multipart/form-data; charset=utf-8"));
    EXPECT_FALSE(multipart_boundary("multipart/mixed; boundary=abc"));
    EXPECT_FALSE(multipart_boundary("application/octet-stream"));
    EXPECT_FALSE(multipart_boundary("multipart/form-data; boundary="));
    EXPECT_FALSE(multipart_boundary("multipart/form-data; boundary=" + std::string(71, 'a')));
    EXPECT_FALSE(multipart_boundary("multipart/form-data; boundary=\"ab\r\ncd\""));
}

}  // namespace
}  // namespace imagehost
