// The rules of "one running Wavestack per user and settings folder", without Qt: where the
// running instance listens, and the small message a later start hands it.
//
// A later start connects, sends one message and waits for the answer "ok\n". The message is
// a few lines, each ending in "\n":
//   raise            bring the main window forward
//   open <path>      open <path> by name (an absolute path; "\" is written "\\" and a
//                    line break "\n", so that any file name fits on one line)
//   end              the message is complete: nothing is acted on before it
// Anything else, a line longer than kMaxInstanceLine, more than kMaxInstanceRequests requests
// or bytes after "end" make the whole message malformed, and none of it is acted on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TInstanceRequestKind : uint8_t { Raise, Open };

struct TInstanceRequest {
    TInstanceRequestKind kind = TInstanceRequestKind::Raise;
    std::string path; // Open only: absolute
    bool operator==(const TInstanceRequest&) const = default;
};

constexpr std::size_t kMaxInstanceLine = 8192; // bytes, the "\n" included
constexpr std::size_t kMaxInstanceRequests = 256;

// The 64-bit FNV-1a hash of `bytes`.
uint64_t InstanceHash(std::string_view bytes);

// "wavestack-<uid>-<16 hex digits>": the hash is of `configDir` without its trailing "/"s, so
// that every settings folder (and so every test with a folder of its own) has its own
// instance, and two users never share one.
std::string InstanceServerName(uint32_t uid, const std::string& configDir);

// The socket's full path: in `runtimeDir` (the user's private runtime folder) when it is
// absolute and the path fits a socket address, else in `tempDir` when that is absolute and
// fits, else in /tmp.
std::string InstanceSocketPath(const std::string& runtimeDir, const std::string& tempDir,
                               uint32_t uid, const std::string& configDir);

// `path` made absolute against `workingDir` (itself absolute) and cleaned of ".", ".." and
// repeated "/" by its text alone (links are not followed); "" for an empty path.
std::string AbsoluteInstancePath(const std::string& workingDir, const std::string& path);

// The whole message for `requests`, "end\n" included. An Open without an absolute path, or
// more than kMaxInstanceRequests requests, or a line too long: nullopt.
std::optional<std::string> EncodeInstanceMessage(const std::vector<TInstanceRequest>& requests);

// One line without its "\n"; nullopt when it is not a request ("end" is not one either).
std::optional<TInstanceRequest> ParseInstanceLine(std::string_view line);

// Reads a message as its bytes arrive, in pieces of any size.
class TInstanceMessageReader {
  public:
    enum class TStatus : uint8_t { NeedMore, Complete, Malformed };

    // Takes the next bytes; once Complete or Malformed, every later call answers Malformed
    // for more bytes (nothing may follow "end") and the status as it was for none.
    TStatus Feed(std::string_view bytes);
    TStatus Status() const { return status_; }
    // The requests read; meaningful once Complete.
    const std::vector<TInstanceRequest>& Requests() const { return requests_; }

  private:
    TStatus status_ = TStatus::NeedMore;
    std::string line_;
    std::vector<TInstanceRequest> requests_;
};
