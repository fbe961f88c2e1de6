// The rules of one running instance without Qt: where it listens (per user and settings
// folder, and within a socket address), paths made absolute by a later start, and the
// message that start sends, read in pieces and refused whole when anything in it is wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/gui/InstanceMessage.h"

namespace {

using TStatus = TInstanceMessageReader::TStatus;

TInstanceRequest Raise() {
    return {TInstanceRequestKind::Raise, std::string()};
}
TInstanceRequest Open(const std::string& path) {
    return {TInstanceRequestKind::Open, path};
}

TStatus ReadAll(const std::string& bytes, std::vector<TInstanceRequest>* requests = nullptr) {
    TInstanceMessageReader reader;
    const TStatus status = reader.Feed(bytes);
    if (requests) *requests = reader.Requests();
    return status;
}

} // namespace

TEST(InstanceName, IsPerUserAndPerSettingsFolder) {
    // FNV-1a 64 reference values worked out by hand from the published constants.
    EXPECT_EQ(InstanceHash(""), 0xcbf29ce484222325ULL);
    EXPECT_EQ(InstanceHash("a"), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(InstanceHash("foobar"), 0x85944171f73967e8ULL);

    EXPECT_EQ(InstanceServerName(1000, "/home/ann/.config/wavestack"),
              "wavestack-1000-4bbc4ea8ab4803ce");
    // The folder's trailing "/" (ConfigDir always has one) names the same folder.
    EXPECT_EQ(InstanceServerName(1000, "/home/ann/.config/wavestack//"),
              "wavestack-1000-4bbc4ea8ab4803ce");
    EXPECT_EQ(InstanceServerName(7, "/"), "wavestack-7-af63a24c860189fe");
    // Another user, or another folder, never reaches this instance.
    EXPECT_NE(InstanceServerName(1001, "/home/ann/.config/wavestack"),
              InstanceServerName(1000, "/home/ann/.config/wavestack"));
    EXPECT_NE(InstanceServerName(1000, "/tmp/test-a/config"),
              InstanceServerName(1000, "/tmp/test-b/config"));
}

TEST(InstanceName, SocketGoesWhereItFits) {
    const std::string name = InstanceServerName(1000, "/c");
    EXPECT_EQ(name.size(), 31u);
    EXPECT_EQ(InstanceSocketPath("/run/user/1000", "/tmp/x", 1000, "/c"), "/run/user/1000/" + name);
    EXPECT_EQ(InstanceSocketPath("/run/user/1000/", "/tmp/x", 1000, "/c"),
              "/run/user/1000/" + name);
    // No runtime folder, or a relative one: the temporary folder.
    EXPECT_EQ(InstanceSocketPath("", "/tmp/x", 1000, "/c"), "/tmp/x/" + name);
    EXPECT_EQ(InstanceSocketPath("run", "/tmp/x/", 1000, "/c"), "/tmp/x/" + name);
    EXPECT_EQ(InstanceSocketPath("", "/", 1000, "/c"), "/" + name);
    EXPECT_EQ(InstanceSocketPath("", "tmp", 1000, "/c"), "/tmp/" + name);

    // A socket address holds 107 bytes of path: a folder of 75 bytes ("/" + 74) is the longest
    // that fits the 31-byte name after its "/".
    const std::string fits = "/" + std::string(74, 'r');
    const std::string tooLong = "/" + std::string(75, 'r');
    EXPECT_EQ(InstanceSocketPath(fits, "/tmp/x", 1000, "/c").size(), 107u);
    EXPECT_EQ(InstanceSocketPath(fits, "/tmp/x", 1000, "/c"), fits + "/" + name);
    EXPECT_EQ(InstanceSocketPath(tooLong, "/tmp/x", 1000, "/c"), "/tmp/x/" + name);
    EXPECT_EQ(InstanceSocketPath(tooLong, tooLong, 1000, "/c"), "/tmp/" + name);
}

TEST(InstancePath, RelativePathsAreMadeAbsoluteAgainstTheLaterStart) {
    EXPECT_EQ(AbsoluteInstancePath("/home/ann/songs", "take1.wav"), "/home/ann/songs/take1.wav");
    EXPECT_EQ(AbsoluteInstancePath("/home/ann/songs", "./mix/./a.Sng"),
              "/home/ann/songs/mix/a.Sng");
    EXPECT_EQ(AbsoluteInstancePath("/home/ann/songs", "../b.wav"), "/home/ann/b.wav");
    EXPECT_EQ(AbsoluteInstancePath("/home/ann/songs/", "x//y.wav"), "/home/ann/songs/x/y.wav");
    EXPECT_EQ(AbsoluteInstancePath("/home/ann/songs", "/data/c.WAV"), "/data/c.WAV");
    EXPECT_EQ(AbsoluteInstancePath("/home/ann/songs", "/data/../d.wav"), "/d.wav");
    EXPECT_EQ(AbsoluteInstancePath("/", "e.wav"), "/e.wav");
    EXPECT_EQ(AbsoluteInstancePath("/home/ann", "with space.wav"), "/home/ann/with space.wav");
    EXPECT_EQ(AbsoluteInstancePath("/home/ann", ""), "");
}

TEST(InstanceMessage, WrittenAsLinesEndedByEnd) {
    EXPECT_EQ(EncodeInstanceMessage({Raise(), Open("/a/b c.wav")}),
              "raise\nopen /a/b c.wav\nend\n");
    EXPECT_EQ(EncodeInstanceMessage({}), "end\n");
    // A line break or "\" in a file name is escaped, so a name cannot add a request.
    EXPECT_EQ(EncodeInstanceMessage({Open("/x\nraise\\n.wav")}), "open /x\\nraise\\\\n.wav\nend\n");
    // Only absolute paths go out; a relative one would be read against the wrong folder.
    EXPECT_EQ(EncodeInstanceMessage({Open("a.wav")}), std::nullopt);
    EXPECT_EQ(EncodeInstanceMessage({Open("")}), std::nullopt);
    EXPECT_EQ(EncodeInstanceMessage({Open(std::string("/a\0b", 4))}), std::nullopt);

    // The limits are those the reader holds to: a longest line and request count go out.
    const std::string longest = "/" + std::string(kMaxInstanceLine - 7, 'p'); // "open " + "\n"
    ASSERT_TRUE(EncodeInstanceMessage({Open(longest)}));
    EXPECT_EQ(EncodeInstanceMessage({Open(longest + "p")}), std::nullopt);
    EXPECT_EQ(EncodeInstanceMessage({Open("/" + std::string(kMaxInstanceLine / 2, '\n'))}),
              std::nullopt); // each break takes two bytes
    EXPECT_TRUE(EncodeInstanceMessage(std::vector<TInstanceRequest>(kMaxInstanceRequests)));
    EXPECT_EQ(EncodeInstanceMessage(std::vector<TInstanceRequest>(kMaxInstanceRequests + 1)),
              std::nullopt);
}

TEST(InstanceMessage, ReadBackWhateverThePieces) {
    const std::vector<TInstanceRequest> sent = {
        Raise(), Open("/songs/first.Sng"), Open("/odd\\name\nwith break.wav"), Open("/open end")};
    const std::string bytes = *EncodeInstanceMessage(sent);
    // Whole, one byte at a time, and split in two at every place.
    std::vector<TInstanceRequest> read;
    ASSERT_EQ(ReadAll(bytes, &read), TStatus::Complete);
    EXPECT_EQ(read, sent);
    {
        TInstanceMessageReader reader;
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
            ASSERT_EQ(reader.Feed(bytes.substr(i, 1)), TStatus::NeedMore) << i;
        ASSERT_EQ(reader.Feed(bytes.substr(bytes.size() - 1)), TStatus::Complete);
        EXPECT_EQ(reader.Requests(), sent);
    }
    for (std::size_t split = 0; split <= bytes.size(); ++split) {
        TInstanceMessageReader reader;
        reader.Feed(bytes.substr(0, split));
        ASSERT_EQ(reader.Feed(bytes.substr(split)), TStatus::Complete) << split;
        EXPECT_EQ(reader.Requests(), sent) << split;
    }
}

TEST(InstanceMessage, NothingIsActedOnBeforeEnd) {
    TInstanceMessageReader reader;
    EXPECT_EQ(reader.Feed("raise\nopen /a.wav\n"), TStatus::NeedMore);
    EXPECT_EQ(reader.Feed("en"), TStatus::NeedMore);
    EXPECT_EQ(reader.Status(), TStatus::NeedMore);
    EXPECT_EQ(reader.Feed("d\n"), TStatus::Complete);
    EXPECT_EQ(reader.Feed(""), TStatus::Complete);
    // Nothing may follow the end: a second message on the same connection is refused.
    EXPECT_EQ(reader.Feed("raise\n"), TStatus::Malformed);
    EXPECT_EQ(reader.Feed(""), TStatus::Malformed);
    EXPECT_EQ(ReadAll("end\nraise\nend\n"), TStatus::Malformed);
    EXPECT_EQ(ReadAll("end\n\n"), TStatus::Malformed);
}

TEST(InstanceMessage, MalformedLinesRefuseTheWholeMessage) {
    const std::vector<std::string> bad = {
        "close\nend\n",                          // not a request
        "RAISE\nend\n",                          // words are lower case
        "raise \nend\n",                         // nothing after raise
        "raise\r\nend\n",                        // line ends are "\n" only
        "\nend\n",                               // an empty line
        "open\nend\n",                           // open without a path
        "open \nend\n",                          // an empty path
        "open  /a.wav\nend\n",                   // the path starts right after one blank
        "open a.wav\nend\n",                     // relative
        "open /a\\t.wav\nend\n",                 // an unknown escape
        "open /a.wav\\\nend\n",                  // "\" at the line's end
        "open /a\\n\\\\\\\nend\n",               // an escape cut short after good ones
        std::string("open /a\0.wav\nend\n", 17), // a zero byte
        "raise\nEND\n",
    };
    for (const std::string& message : bad)
        EXPECT_EQ(ReadAll(message), TStatus::Malformed) << message;
    // A good line before the bad one is not kept either.
    std::vector<TInstanceRequest> read;
    EXPECT_EQ(ReadAll("raise\nopen /a.wav\nbogus\nend\n", &read), TStatus::Malformed);

    // The line test itself: "end" is the reader's, not a request.
    EXPECT_EQ(ParseInstanceLine("end"), std::nullopt);
    EXPECT_EQ(ParseInstanceLine("raise"), Raise());
    EXPECT_EQ(ParseInstanceLine("open /x\\\\y"), Open("/x\\y"));
}

TEST(InstanceMessage, OversizedInputIsRefused) {
    // The longest line (kMaxInstanceLine bytes with its "\n") is read; one byte more is not,
    // and is refused before its end arrives, so a sender cannot grow the buffer.
    const std::string longest = "open /" + std::string(kMaxInstanceLine - 7, 'p');
    ASSERT_EQ(longest.size() + 1, kMaxInstanceLine);
    std::vector<TInstanceRequest> read;
    ASSERT_EQ(ReadAll(longest + "\nend\n", &read), TStatus::Complete);
    EXPECT_EQ(read.at(0).path.size(), kMaxInstanceLine - 6);
    {
        TInstanceMessageReader reader;
        EXPECT_EQ(reader.Feed(longest), TStatus::NeedMore);
        EXPECT_EQ(reader.Feed("p"), TStatus::Malformed);
    }
    TInstanceMessageReader endless;
    TStatus status = TStatus::NeedMore;
    for (int i = 0; i < 100 && status == TStatus::NeedMore; ++i)
        status = endless.Feed(std::string(1000, 'r'));
    EXPECT_EQ(status, TStatus::Malformed);

    // As many requests as allowed, then one more.
    std::string most;
    for (std::size_t i = 0; i < kMaxInstanceRequests; ++i)
        most += "raise\n";
    EXPECT_EQ(ReadAll(most + "end\n"), TStatus::Complete);
    EXPECT_EQ(ReadAll(most + "raise\nend\n"), TStatus::Malformed);
}
