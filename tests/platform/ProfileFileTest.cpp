#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <gtest/gtest.h>

#include "platform/ProfileFile.h"
#include "tests/common/FileSizeLimit.h"
#include "tests/platform/TempFilesTestFolder.h"

using Names = std::vector<std::string>;

TEST(ProfileFile, ReadsNamesWithoutCaseAndNumbersInEveryForm) {
    TTestFolder folder;
    const std::string path = folder / "STUDIO.TXT";
    WriteBytes(path, "[TFormStudio]\n"
                     "Height=300\n"
                     "Hex=0x1F\n"
                     "Upper=0X1f\n"
                     "Dollar=$1F\n"
                     "NegHex=-$10\n"
                     "AllBits=0xFFFFFFFF\n"
                     "TooWide=0x100000000\n"
                     "Neg=-45\n"
                     "Max=2147483647\n"
                     "Over=2147483648\n"
                     "Min=-2147483648\n"
                     "Under=-2147483649\n"
                     "Word=abc\n"
                     "Tail=12abc\n"
                     "BareHex=0x\n"
                     "BareDollar=$\n"
                     "Minus=-\n"
                     "Empty=\n"
                     "Blanks= 12 \n"
                     "Flag=2\n"
                     "Off=0\n"
                     "  Spaced Key  =v\n");
    TProfileFile file(path);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Height", 0), 300);
    EXPECT_EQ(file.ReadInteger("TFORMSTUDIO", "HEIGHT", 0), 300);
    EXPECT_EQ(file.ReadInteger("tformstudio", "height", 0), 300);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Hex", 0), 31);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Upper", 0), 31);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Dollar", 0), 31);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "NegHex", 0), -16);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "AllBits", 0), -1);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "TooWide", 7), 7);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Neg", 0), -45);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Max", 0), 2147483647);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Over", 7), 7);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Min", 0), INT32_MIN);
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Under", 7), 7);
    for (const char* bad : {"Word", "Tail", "BareHex", "BareDollar", "Minus", "Empty"}) {
        EXPECT_EQ(file.ReadInteger("TFormStudio", bad, 7), 7) << bad;
        EXPECT_TRUE(file.ReadBool("TFormStudio", bad, true)) << bad;
        EXPECT_FALSE(file.ReadBool("TFormStudio", bad, false)) << bad;
    }
    // Strings come back as written; numbers ignore the blanks around them.
    EXPECT_EQ(file.ReadString("TFormStudio", "Blanks", "x"), " 12 ");
    EXPECT_EQ(file.ReadInteger("TFormStudio", "Blanks", 0), 12);
    EXPECT_EQ(file.ReadString("TFormStudio", "Empty", "x"), "");
    EXPECT_EQ(file.ReadString("TFormStudio", "spaced key", "x"), "v");
    EXPECT_TRUE(file.ReadBool("TFormStudio", "Flag", false));
    EXPECT_FALSE(file.ReadBool("TFormStudio", "Off", true));
    EXPECT_TRUE(file.ValueExists("tformstudio", "EMPTY"));
    EXPECT_FALSE(file.ValueExists("TFormStudio", "Nothing"));
    // Missing key, section and file read as the caller's default.
    EXPECT_EQ(file.ReadString("TFormStudio", "Nothing", "dflt"), "dflt");
    EXPECT_EQ(file.ReadInteger("NOSECTION", "Height", -1), -1);
    TProfileFile missing(folder / "NONE.TXT");
    EXPECT_EQ(missing.ReadString("A", "B", "dflt"), "dflt");
    EXPECT_EQ(missing.ReadInteger("A", "B", 44100), 44100);
    EXPECT_TRUE(missing.ReadSections().empty());
    EXPECT_FALSE(missing.SectionExists("A"));
}

TEST(ProfileFile, WritesInPlaceAppendKeysToTheirSectionAndSectionsAtTheEnd) {
    TTestFolder folder;
    const std::string path = folder / "song.Sng";
    WriteBytes(path, "; saved by hand\n"
                     "[TRACKS]\n"
                     "TRACK1=a.wav\n"
                     "NUMTRACKS = 1\n"
                     "; trailing note\n"
                     "\n"
                     "[TRACK1]\n"
                     "MUTE=0\n"
                     "\n"
                     "[EMPTY]\n"
                     "\n");
    TProfileFile file(path);
    // Replacing a value keeps everything up to "=" and every other byte.
    ASSERT_TRUE(file.WriteInteger("tracks", "numtracks", 2));
    EXPECT_EQ(ReadBytes(path), "; saved by hand\n"
                               "[TRACKS]\n"
                               "TRACK1=a.wav\n"
                               "NUMTRACKS =2\n"
                               "; trailing note\n"
                               "\n"
                               "[TRACK1]\n"
                               "MUTE=0\n"
                               "\n"
                               "[EMPTY]\n"
                               "\n");
    // A new key goes right after the last key of its section.
    ASSERT_TRUE(file.WriteString("TRACKS", "TRACK2", "/songs/b.wav"));
    ASSERT_TRUE(file.WriteBool("TRACK1", "MINIMIZED", true));
    ASSERT_TRUE(file.WriteInteger("EMPTY", "PAN", -100));
    // A new section goes at the end of the file.
    ASSERT_TRUE(file.WriteBool("TRACK2", "MUTE", false));
    EXPECT_EQ(ReadBytes(path), "; saved by hand\n"
                               "[TRACKS]\n"
                               "TRACK1=a.wav\n"
                               "NUMTRACKS =2\n"
                               "TRACK2=/songs/b.wav\n"
                               "; trailing note\n"
                               "\n"
                               "[TRACK1]\n"
                               "MUTE=0\n"
                               "MINIMIZED=1\n"
                               "\n"
                               "[EMPTY]\n"
                               "PAN=-100\n"
                               "\n"
                               "[TRACK2]\n"
                               "MUTE=0\n");
    // A fresh object reads what the first wrote.
    TProfileFile again(path);
    EXPECT_EQ(again.ReadInteger("TRACKS", "NUMTRACKS", 0), 2);
    EXPECT_EQ(again.ReadString("TRACKS", "TRACK2", ""), "/songs/b.wav");
    EXPECT_TRUE(again.ReadBool("TRACK1", "MINIMIZED", false));
    EXPECT_EQ(again.ReadInteger("EMPTY", "PAN", 0), -100);
    EXPECT_EQ(again.ReadSections(), (Names{"TRACKS", "TRACK1", "EMPTY", "TRACK2"}));

    // A new file starts with its first section.
    const std::string fresh = folder / "EffectsPreset.Ini";
    TProfileFile presets(fresh);
    ASSERT_TRUE(presets.WriteString("DELAY", "Echo", ""));
    ASSERT_TRUE(presets.WriteString("DELAYEcho", "VERSION", "1.0"));
    EXPECT_EQ(ReadBytes(fresh), "[DELAY]\nEcho=\n[DELAYEcho]\nVERSION=1.0\n");
}

TEST(ProfileFile, EraseAndDeleteLeaveEverythingElseByteForByte) {
    TTestFolder folder;
    const std::string path = folder / "f.ini";
    WriteBytes(path, "top=1\n"
                     "[A]\n"
                     "x=1\n"
                     "\n"
                     "[B]\n"
                     "y=2\n"
                     "Y=3\n"
                     "keep=4\n"
                     "[a]\n"
                     "z=3\n"
                     "[C]\n"
                     "w=4");
    TProfileFile file(path);
    EXPECT_EQ(file.ReadSections(), (Names{"A", "B", "C"}));
    // Every section of the name goes, so the erased name reads as missing.
    ASSERT_TRUE(file.EraseSection("a"));
    EXPECT_EQ(ReadBytes(path), "top=1\n"
                               "[B]\n"
                               "y=2\n"
                               "Y=3\n"
                               "keep=4\n"
                               "[C]\n"
                               "w=4");
    EXPECT_FALSE(file.SectionExists("A"));
    EXPECT_EQ(file.ReadString("A", "z", "gone"), "gone");
    // Both lines of a doubled key go.
    ASSERT_TRUE(file.DeleteKey("b", "Y"));
    EXPECT_EQ(ReadBytes(path), "top=1\n"
                               "[B]\n"
                               "keep=4\n"
                               "[C]\n"
                               "w=4");
    EXPECT_FALSE(file.ValueExists("B", "y"));
    // Erasing or deleting what is not there changes nothing, and makes no file.
    ASSERT_TRUE(file.EraseSection("Nope"));
    ASSERT_TRUE(file.DeleteKey("B", "nope"));
    EXPECT_EQ(ReadBytes(path), "top=1\n[B]\nkeep=4\n[C]\nw=4");
    TProfileFile absent(folder / "absent.ini");
    ASSERT_TRUE(absent.EraseSection("TRACK1"));
    EXPECT_FALSE(std::filesystem::exists(folder / "absent.ini"));
}

TEST(ProfileFile, DoubledNamesFirstOneWinsAndListsKeepFileOrder) {
    TTestFolder folder;
    const std::string path = folder / "p.ini";
    WriteBytes(path, "[DELAY]\n"
                     "Slap=\n"
                     "Echo=\n"
                     "SLAP=second\n"
                     "Room=\n"
                     "[delay]\n"
                     "Hidden=\n"
                     "[FADE]\n");
    TProfileFile file(path);
    EXPECT_EQ(file.ReadSection("delay"), (Names{"Slap", "Echo", "Room"}));
    EXPECT_EQ(file.ReadString("DELAY", "slap", "x"), "");
    EXPECT_EQ(file.ReadString("DELAY", "Hidden", "x"), "x");
    EXPECT_TRUE(file.ReadSection("FADE").empty());
    EXPECT_TRUE(file.SectionExists("fade"));
    EXPECT_TRUE(file.ReadSection("NONE").empty());
    EXPECT_EQ(file.ReadSections(), (Names{"DELAY", "FADE"}));
    // Writes go to the first of the doubled section and the first of the doubled key.
    ASSERT_TRUE(file.WriteString("Delay", "SLAP", "1"));
    ASSERT_TRUE(file.WriteString("Delay", "Hidden", "2"));
    EXPECT_EQ(ReadBytes(path), "[DELAY]\n"
                               "Slap=1\n"
                               "Echo=\n"
                               "SLAP=second\n"
                               "Room=\n"
                               "Hidden=2\n"
                               "[delay]\n"
                               "Hidden=\n"
                               "[FADE]\n");
}

TEST(ProfileFile, OddFilesRoundTrip) {
    TTestFolder folder;
    // CRLF line ends are kept and new lines take them; values lose the CR.
    const std::string crlf = folder / "crlf.ini";
    WriteBytes(crlf, "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    TProfileFile crlfFile(crlf);
    EXPECT_EQ(crlfFile.ReadString("A", "x", ""), "1");
    ASSERT_TRUE(crlfFile.WriteString("A", "z", "3"));
    ASSERT_TRUE(crlfFile.WriteString("C", "w", "4"));
    EXPECT_EQ(ReadBytes(crlf), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=4\r\n");

    // A byte-order mark is kept and is not part of the first section's name.
    const std::string bom = folder / "bom.ini";
    WriteBytes(bom, "\xEF\xBB\xBF[A]\nx=1\n");
    TProfileFile bomFile(bom);
    EXPECT_EQ(bomFile.ReadSections(), (Names{"A"}));
    ASSERT_TRUE(bomFile.WriteString("a", "x", "2"));
    EXPECT_EQ(ReadBytes(bom), "\xEF\xBB\xBF[A]\nx=2\n");

    // No final newline: the last line gets one only when a line follows it.
    const std::string last = folder / "last.ini";
    WriteBytes(last, "[A]\nx=1");
    TProfileFile lastFile(last);
    EXPECT_EQ(lastFile.ReadString("A", "x", ""), "1");
    ASSERT_TRUE(lastFile.WriteString("A", "x", "22"));
    EXPECT_EQ(ReadBytes(last), "[A]\nx=22");
    ASSERT_TRUE(lastFile.WriteString("A", "y", "3"));
    EXPECT_EQ(ReadBytes(last), "[A]\nx=22\ny=3\n");

    // Garbage, comments, unclosed brackets, NULs and keys before any section survive.
    const std::string junk = folder / "junk.ini";
    const std::string junkBytes = std::string("lead=1\n"
                                              "\xFF\xFE garbage\n"
                                              "[A]\n"
                                              "; x=comment\n"
                                              "[unclosed\n"
                                              "no equals here\n"
                                              "=novalue\n"
                                              "nul") +
                                  std::string(1, '\0') + "=z\n" + "x=\t 1\x01\n";
    WriteBytes(junk, junkBytes);
    TProfileFile junkFile(junk);
    EXPECT_EQ(junkFile.ReadString("", "lead", "none"), "none");
    EXPECT_EQ(junkFile.ReadString("A", "; x", "none"), "none");
    EXPECT_EQ(junkFile.ReadString("A", "x", ""), "\t 1\x01");
    EXPECT_EQ(junkFile.ReadString("A", std::string("nul") + '\0', ""), "z");
    EXPECT_EQ(junkFile.ReadSection("A"), (Names{std::string("nul") + '\0', "x"}));
    ASSERT_TRUE(junkFile.WriteString("A", "new", "v"));
    EXPECT_EQ(ReadBytes(junk), junkBytes + "new=v\n");

    // Lines of megabytes, read and kept.
    const std::string big = folder / "big.ini";
    const std::string longValue(3 * 1024 * 1024 + 7, 'q');
    const std::string longJunk(2 * 1024 * 1024, '#');
    WriteBytes(big, "[A]\nlong=" + longValue + "\n" + longJunk + "\n[B]\n");
    TProfileFile bigFile(big);
    EXPECT_EQ(bigFile.ReadString("A", "LONG", ""), longValue);
    ASSERT_TRUE(bigFile.WriteString("B", "k", "v"));
    EXPECT_EQ(ReadBytes(big), "[A]\nlong=" + longValue + "\n" + longJunk + "\n[B]\nk=v\n");

    // Section names may hold "]" and odd characters and still read back.
    const std::string odd = folder / "odd.ini";
    TProfileFile oddFile(odd);
    ASSERT_TRUE(oddFile.WriteString("DELAYmy [best] one", "VERSION", "1.0"));
    ASSERT_TRUE(oddFile.WriteString("  padded  ", "  key  ", " v "));
    EXPECT_EQ(ReadBytes(odd), "[DELAYmy [best] one]\nVERSION=1.0\n[padded]\nkey= v \n");
    TProfileFile oddAgain(odd);
    EXPECT_EQ(oddAgain.ReadString("delaymy [BEST] one", "version", ""), "1.0");
    EXPECT_EQ(oddAgain.ReadString("padded", "key", ""), " v ");
}

TEST(ProfileFile, RefusesEntriesItCouldNotReadBack) {
    TTestFolder folder;
    const std::string path = folder / "f.ini";
    WriteBytes(path, "[A]\nx=1\n");
    TProfileFile file(path);
    EXPECT_FALSE(file.WriteString("A", "two\nlines", "v"));
    EXPECT_FALSE(file.WriteString("A", "x", "1\r\n[B]"));
    EXPECT_FALSE(file.WriteString("A\n[B", "x", "v"));
    EXPECT_FALSE(file.WriteString("A", "a=b", "v"));
    EXPECT_FALSE(file.WriteString("A", ";note", "v"));
    EXPECT_FALSE(file.WriteString("A", "[B]", "v"));
    EXPECT_FALSE(file.WriteString("A", "   ", "v"));
    EXPECT_FALSE(file.LastError().empty());
    EXPECT_EQ(ReadBytes(path), "[A]\nx=1\n");
    EXPECT_EQ(folder.Entries(), (Names{"f.ini"}));
}

namespace {

// Makes a folder refuse new entries even for root: the immutable attribute where the file
// system has it, plain permissions otherwise. False when neither can be had here.
bool LockFolder(const std::string& path, bool lock) {
    if (::geteuid() != 0) return ::chmod(path.c_str(), lock ? 0555 : 0755) == 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = lock ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

TEST(ProfileFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    TTestFolder folder;
    const std::string path = folder / "STUDIO.TXT";
    const std::string original = "[FILES]\nNUMFILES=1\nFILE1=" + std::string(8000, 'f') + "\n";
    WriteBytes(path, original);
    TProfileFile file(path);
    EXPECT_EQ(file.ReadInteger("FILES", "NUMFILES", 0), 1);

    // The disk refuses the bytes half way: a file-size limit below the new file's size.
    {
        const FileSizeLimit limit(4096);
        EXPECT_FALSE(file.WriteInteger("FILES", "NUMFILES", 2));
    }
    EXPECT_NE(file.LastError().find("Write"), std::string::npos) << file.LastError();
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(folder.Entries(), (Names{"STUDIO.TXT"}));
    EXPECT_EQ(file.ReadInteger("FILES", "NUMFILES", 0), 1);
    // The same write goes through once the disk takes it.
    ASSERT_TRUE(file.WriteInteger("FILES", "NUMFILES", 2));
    EXPECT_EQ(TProfileFile(path).ReadInteger("FILES", "NUMFILES", 0), 2);

    // A folder that takes no new entries.
    if (LockFolder(folder.Path(), true)) {
        const std::string before = ReadBytes(path);
        EXPECT_FALSE(file.WriteInteger("FILES", "NUMFILES", 3));
        EXPECT_TRUE(LockFolder(folder.Path(), false));
        EXPECT_FALSE(file.LastError().empty());
        EXPECT_EQ(ReadBytes(path), before);
        EXPECT_EQ(folder.Entries(), (Names{"STUDIO.TXT"}));
    }

    // The folder is not created for the caller.
    TProfileFile nowhere(folder / "missing/STUDIO.TXT");
    EXPECT_FALSE(nowhere.WriteString("A", "b", "c"));
    EXPECT_NE(nowhere.LastError().find("(2)"), std::string::npos) << nowhere.LastError();
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));

    // A path that cannot be read is never replaced (its content was never seen).
    std::filesystem::create_directory(folder / "adir");
    std::filesystem::create_directory(folder / "adir/inside");
    TProfileFile dir(folder / "adir");
    EXPECT_EQ(dir.ReadString("A", "b", "dflt"), "dflt");
    EXPECT_FALSE(dir.LastError().empty());
    EXPECT_FALSE(dir.WriteString("A", "b", "c"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "adir/inside"));
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    TProfileFile fifo(folder / "fifo");
    EXPECT_EQ(fifo.ReadInteger("A", "b", 5), 5);
    EXPECT_FALSE(fifo.WriteInteger("A", "b", 6));
}

TEST(ProfileFile, RewriteKeepsModeAndLinks) {
    TTestFolder folder;
    const std::string path = folder / "f.ini";
    WriteBytes(path, "[A]\nx=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    TProfileFile file(path);
    ASSERT_TRUE(file.WriteString("A", "x", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A new file gets 0666 less the umask, not the temporary file's private 0600.
    const mode_t oldMask = ::umask(022);
    TProfileFile fresh(folder / "new.ini");
    const bool made = fresh.WriteString("A", "x", "1");
    ::umask(oldMask);
    ASSERT_TRUE(made);
    ASSERT_EQ(::stat((folder / "new.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // Writing through a symlink replaces the file it points to and keeps the link.
    std::filesystem::create_directory(folder / "real");
    WriteBytes(folder / "real/settings.ini", "[A]\nx=1\n");
    ASSERT_EQ(::symlink("real/settings.ini", (folder / "link.ini").c_str()), 0);
    TProfileFile linked(folder / "link.ini");
    ASSERT_TRUE(linked.WriteString("A", "x", "9"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.ini"));
    EXPECT_EQ(ReadBytes(folder / "real/settings.ini"), "[A]\nx=9\n");
    EXPECT_EQ(linked.ReadString("A", "x", ""), "9");
}

TEST(ProfileFile, SeesChangesMadeByOtherWriters) {
    TTestFolder folder;
    const std::string path = folder / "f.ini";
    WriteBytes(path, "[A]\nx=1\n");
    TProfileFile reader(path);
    TProfileFile writer(path);
    EXPECT_EQ(reader.ReadInteger("A", "x", 0), 1);
    ASSERT_TRUE(writer.WriteInteger("A", "x", 2));
    EXPECT_EQ(reader.ReadInteger("A", "x", 0), 2);
    // Each object's write builds on the other's.
    ASSERT_TRUE(reader.WriteInteger("A", "y", 3));
    ASSERT_TRUE(writer.WriteInteger("B", "z", 4));
    EXPECT_EQ(ReadBytes(path), "[A]\nx=2\ny=3\n[B]\nz=4\n");

    // An edit in place of the same size, told apart by its modification time.
    {
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "7", 1, 6), 1);
        const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
        ASSERT_EQ(::futimens(fd, times), 0);
        ::close(fd);
    }
    EXPECT_EQ(reader.ReadInteger("A", "x", 0), 7);
    // A file removed behind the object's back reads as defaults.
    std::filesystem::remove(path);
    EXPECT_EQ(reader.ReadInteger("A", "x", -1), -1);
    EXPECT_FALSE(reader.SectionExists("B"));
}

TEST(ProfileFile, BatchWritesOnceAtTheOutermostEndOrNotAtAll) {
    TTestFolder folder;
    const std::string path = folder / "p.ini";
    const std::string original = "; kept\r\n[A]\r\nx=1\r\n";
    WriteBytes(path, original);
    TProfileFile file(path);
    {
        TProfileBatch outer(file);
        ASSERT_TRUE(file.WriteInteger("A", "x", 2));
        {
            TProfileBatch inner(file);
            ASSERT_TRUE(file.WriteString("B", "y", "two"));
            ASSERT_TRUE(file.DeleteKey("A", "x"));
            ASSERT_TRUE(inner.Commit());
        }
        // Nothing has reached the file yet, while the object reads its own changes.
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_EQ(file.ReadString("B", "y", ""), "two");
        EXPECT_FALSE(file.ValueExists("A", "x"));
        ASSERT_TRUE(file.EraseSection("A"));
        ASSERT_TRUE(outer.Commit());
    }
    EXPECT_EQ(ReadBytes(path), "; kept\r\n[B]\r\ny=two\r\n");
    EXPECT_EQ(folder.Entries(), (Names{"p.ini"}));

    // A scope left early drops everything, the inner batch's committed part too.
    {
        TProfileBatch outer(file);
        ASSERT_TRUE(file.WriteInteger("B", "z", 3));
        {
            TProfileBatch inner(file);
            ASSERT_TRUE(file.WriteInteger("B", "w", 4));
        }
        EXPECT_FALSE(outer.Commit());
    }
    EXPECT_EQ(ReadBytes(path), "; kept\r\n[B]\r\ny=two\r\n");
    EXPECT_FALSE(file.ValueExists("B", "z"));
    EXPECT_FALSE(file.ValueExists("B", "w"));

    // The final write refused by the disk: the file stays as it was, the object reads it
    // again, and the reason is kept.
    {
        TProfileBatch batch(file);
        ASSERT_TRUE(file.WriteString("B", "big", std::string(8000, 'b')));
        const FileSizeLimit limit(4096);
        EXPECT_FALSE(batch.Commit());
    }
    EXPECT_NE(file.LastError().find("Write"), std::string::npos) << file.LastError();
    EXPECT_EQ(ReadBytes(path), "; kept\r\n[B]\r\ny=two\r\n");
    EXPECT_EQ(folder.Entries(), (Names{"p.ini"}));
    EXPECT_FALSE(file.ValueExists("B", "big"));
    EXPECT_EQ(file.ReadString("B", "y", ""), "two");
}

namespace {

// Gives the file the whole second this process started in as its modification time, as a file
// system with one-second timestamps gives every write within that second.
void PinModificationTime(const std::string& path) {
    static const time_t second = std::time(nullptr);
    const timespec times[2] = {{0, UTIME_OMIT}, {second, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST(ProfileFile, HandlesTakingTurnsKeepEachOthersWrites) {
    TTestFolder folder;
    const std::string path = folder / "wavestack.TXT";
    TProfileFile a(path);
    TProfileFile b(path);
    ASSERT_TRUE(a.WriteInteger("TFormStudio", "HEIGHT", 300));
    ASSERT_TRUE(b.WriteInteger("TFormOrganize", "HEIGHT", 200));
    ASSERT_TRUE(a.WriteInteger("TFormStudio", "WIDTH", 400));
    {
        TProfileBatch batch(b);
        ASSERT_TRUE(b.WriteInteger("TFormOrganize", "WIDTH", 250));
        ASSERT_TRUE(b.WriteInteger("TFormOrganize", "N_PanelSIZE", 1));
        ASSERT_TRUE(batch.Commit());
    }
    {
        TProfileBatch batch(a);
        ASSERT_TRUE(a.WriteInteger("TFormStudio", "PanelSIZE", 0));
        ASSERT_TRUE(batch.Commit());
    }
    EXPECT_EQ(ReadBytes(path), "[TFormStudio]\nHEIGHT=300\nWIDTH=400\nPanelSIZE=0\n"
                               "[TFormOrganize]\nHEIGHT=200\nWIDTH=250\nN_PanelSIZE=1\n");
    EXPECT_EQ(b.ReadInteger("TFormStudio", "PanelSIZE", -1), 0);
}

// Every write replaces the file, so a reused inode number with the same size and the same
// timestamp tick would look unchanged to a handle that only compares its snapshot.
TEST(ProfileFile, SeesAnotherHandlesChangeWithinOneTimestampTick) {
    TTestFolder folder;
    const std::string path = folder / "wavestack.TXT";
    WriteBytes(path, "[A]\nx=1\n");
    PinModificationTime(path);
    TProfileFile a(path);
    TProfileFile b(path);
    ASSERT_EQ(a.ReadInteger("A", "x", 0), 1);
    const ino_t seen = InodeOf(path);
    // Several same-size writes, until one lands on the inode number `a` loaded (when the file
    // system reuses numbers) or the values run out.
    int last = 1;
    for (int value = 2; value <= 9; ++value) {
        ASSERT_TRUE(b.WriteInteger("A", "x", value));
        PinModificationTime(path);
        last = value;
        if (InodeOf(path) == seen) break;
    }
    EXPECT_EQ(a.ReadInteger("A", "x", 0), last);
    ASSERT_TRUE(a.WriteInteger("A", "y", 1));
    EXPECT_EQ(ReadBytes(path), "[A]\nx=" + std::to_string(last) + "\ny=1\n");
}
