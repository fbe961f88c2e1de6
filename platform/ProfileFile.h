// Reader and writer of the INI-style profile files that hold the settings, songs, effect
// presets and window layouts: "[SECTION]" lines opening sections and "key=value" lines.
//
// Rules of the format as this class applies them:
// - Section and key names are compared without regard to ASCII letter case and with the blanks
//   (spaces, tabs) around them trimmed. A section line is a line whose first non-blank
//   character is "["; its name runs to the last "]" on the line (so a name may itself hold
//   "]"); a line with "[" but no "]" is not understood.
// - Values are returned as written after the first "=", except that a trailing CR is dropped.
// - Lines not understood (";" comments, blank lines, lines without "=", garbage bytes) are
//   kept byte for byte when the file is rewritten, as are key lines before the first section
//   (they belong to no section and cannot be read). The UTF-8 byte-order mark, the line end of
//   each line (LF or CRLF) and a missing final newline are kept too; new lines take the line
//   end of the file's first line (LF for a new file).
// - A section that appears twice: the first one wins for reads and writes, and ReadSection
//   lists its keys only. A key that appears twice in one section: the first one wins.
//   EraseSection removes every section of that name and DeleteKey every line of that key in
//   the first section, so an erased name really reads as missing afterwards.
// - Every write reaches the disk at once and atomically: the whole file is written to a new
//   hidden file in the same folder, synced and renamed over the old one, keeping its
//   permission bits. A symlinked file is written through its link. If any step fails, the
//   old file is untouched, no temporary file remains, the call returns false and LastError()
//   tells why. A write that would change nothing does not touch the file.
// - The folder of the file is not created: the caller creates folders.
//
// The file is read once and kept as lines in memory; every call first compares the file's
// identity, size and modification time with those it loaded and reloads it when another
// writer changed it, and reads it again anyway while its last change is less than a timestamp
// tick old (a change within the same tick could keep all three). So several handles on one
// file taking turns never lose each other's writes. Two writers that change the file in the
// same instant can still lose one of the changes; the system writes each file from one thread.
//
// Thread-safety: an object is used by one thread at a time. Several objects may share a file.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class TProfileFile {
  public:
    explicit TProfileFile(std::string path);

    const std::string& FileName() const { return path_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue);
    // Decimal with an optional "-", or hexadecimal after "0x", "0X" or "$" (up to 32 bits,
    // taken as a two's-complement bit pattern: "0xFFFFFFFF" reads as -1). Blanks around the
    // value are ignored. Anything else, or a decimal outside 32 bits, gives the default.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue);
    // A readable integer that is not zero is true; anything not a number gives the default.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue);

    // Refused (false) when a name is empty after trimming (keys only), a key holds "=" or starts
    // with ";" or "[", or any text holds a line break, since the file could not read it back.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int32_t value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);

    // Removes each section of that name with everything up to the next section line.
    bool EraseSection(const std::string& section);
    bool DeleteKey(const std::string& section, const std::string& key);

    // Key names of the section in file order, as written in the file, each once.
    std::vector<std::string> ReadSection(const std::string& section);
    // Section names in file order, as written in the file, each once.
    std::vector<std::string> ReadSections();
    bool SectionExists(const std::string& section);
    bool ValueExists(const std::string& section, const std::string& key);

    // Writes between BeginBatch and EndBatch reach the file at EndBatch, as one replacement
    // with one flush: several keys cost one write, and a reader never sees half of them.
    // Batches nest; the outermost EndBatch writes. Inside a batch, reads and writes work on
    // this object's own copy, taken at the batch's first call (changes made to the file
    // meanwhile by others are not seen), so a batch of reads is one consistent view.
    // EndBatch returns false when the write fails; the file is then as it was and this
    // object reads it again, so the batch's changes are dropped.
    void BeginBatch() { ++batchDepth_; }
    bool EndBatch();
    // Ends a batch without its changes: the outermost end then writes nothing and reads the
    // file again.
    void AbandonBatch();

    // Why the last failed call failed; reading a file that exists but cannot be read also
    // sets it (the reads then give defaults and every write is refused, so that the unread
    // content is never replaced).
    const std::string& LastError() const { return lastError_; }

  private:
    enum class LineKind : uint8_t { Other, Section, Key };
    enum class LineEnd : uint8_t { None, Lf, CrLf };
    struct Line {
        std::string text; // without its line end
        LineEnd end = LineEnd::Lf;
        LineKind kind = LineKind::Other;
        std::string name;        // trimmed section or key name
        std::size_t valueAt = 0; // Key: offset of the value in text
    };
    struct Snapshot {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        timespec mtime{};
        bool operator==(const Snapshot& other) const;
    };
    struct Lines {
        std::vector<Line> lines;
        bool bom = false;
    };

    static Line ParseLine(std::string text, LineEnd end);
    static std::string ValueOf(const Line& line);
    static bool ParseInteger(const std::string& text, int32_t& value);

    void Refresh();
    bool Load();
    Snapshot Stat() const;
    static Snapshot SnapshotOf(const struct stat& st);
    // Index of the first section line named `section` in `lines`, or -1.
    static long FindSection(const Lines& lines, const std::string& section);
    // Index of the first key line named `key` in the section whose header is at `header`.
    static long FindKey(const Lines& lines, long header, const std::string& key);
    LineEnd DefaultEnd(const Lines& lines) const;
    bool CanWrite();
    bool Commit(const Lines& next);
    bool Write(const Lines& next);
    std::string Render(const Lines& lines) const;

    std::string path_;
    Lines content_;
    Snapshot loaded_;
    bool loadedOnce_ = false;
    bool loadedRecently_ = false; // loaded_ is within a timestamp tick of its last change
    bool unreadable_ = false;
    int batchDepth_ = 0;
    bool batchPending_ = false; // content_ holds changes the file does not have yet
    bool batchAbandoned_ = false;
    bool batchRefreshed_ = false; // the file was looked at once in this batch
    std::string lastError_;
};

// Holds a batch open for a scope. Commit ends it and says whether the file took it; a scope
// left without Commit (an early return on a refused write) abandons the batch.
class TProfileBatch {
  public:
    explicit TProfileBatch(TProfileFile& file) : file_(file) { file_.BeginBatch(); }
    ~TProfileBatch() {
        if (open_) file_.AbandonBatch();
    }
    TProfileBatch(const TProfileBatch&) = delete;
    TProfileBatch& operator=(const TProfileBatch&) = delete;

    bool Commit() {
        open_ = false;
        return file_.EndBatch();
    }

  private:
    TProfileFile& file_;
    bool open_ = true;
};
