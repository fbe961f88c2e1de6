#include "app/gui/InstanceMessage.h"

#include <cstdio>
#include <filesystem>

namespace {

// The longest path a Unix socket address holds, its terminating zero left out.
constexpr std::size_t kMaxSocketPath = 107;

std::string WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::optional<std::string> SocketIn(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.front() != '/') return std::nullopt;
    std::string path = WithoutTrailingSlashes(folder);
    if (path != "/") path += '/';
    path += name;
    if (path.size() > kMaxSocketPath) return std::nullopt;
    return path;
}

std::string Escaped(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> Unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0') return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        if (text[i] == '\\')
            out += '\\';
        else if (text[i] == 'n')
            out += '\n';
        else
            return std::nullopt;
    }
    return out;
}

} // namespace

uint64_t InstanceHash(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string InstanceServerName(uint32_t uid, const std::string& configDir) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(InstanceHash(WithoutTrailingSlashes(configDir))));
    return "wavestack-" + std::to_string(uid) + "-" + hash;
}

std::string InstanceSocketPath(const std::string& runtimeDir, const std::string& tempDir,
                               uint32_t uid, const std::string& configDir) {
    const std::string name = InstanceServerName(uid, configDir);
    if (auto path = SocketIn(runtimeDir, name)) return *path;
    if (auto path = SocketIn(tempDir, name)) return *path;
    return "/tmp/" + name;
}

std::string AbsoluteInstancePath(const std::string& workingDir, const std::string& path) {
    if (path.empty()) return std::string();
    std::filesystem::path full(path);
    if (!full.is_absolute()) full = std::filesystem::path(workingDir) / full;
    std::string clean = full.lexically_normal().string();
    return WithoutTrailingSlashes(clean);
}

std::optional<std::string> EncodeInstanceMessage(const std::vector<TInstanceRequest>& requests) {
    if (requests.size() > kMaxInstanceRequests) return std::nullopt;
    std::string message;
    for (const TInstanceRequest& request : requests) {
        std::string line;
        if (request.kind == TInstanceRequestKind::Raise) {
            line = "raise\n";
        } else {
            if (request.path.empty() || request.path.front() != '/' ||
                request.path.find('\0') != std::string::npos)
                return std::nullopt;
            line = "open " + Escaped(request.path) + "\n";
        }
        if (line.size() > kMaxInstanceLine) return std::nullopt;
        message += line;
    }
    return message + "end\n";
}

std::optional<TInstanceRequest> ParseInstanceLine(std::string_view line) {
    if (line == "raise") return TInstanceRequest{TInstanceRequestKind::Raise, std::string()};
    constexpr std::string_view kOpen = "open ";
    if (line.substr(0, kOpen.size()) != kOpen) return std::nullopt;
    std::optional<std::string> path = Unescaped(line.substr(kOpen.size()));
    if (!path || path->empty() || path->front() != '/') return std::nullopt;
    return TInstanceRequest{TInstanceRequestKind::Open, std::move(*path)};
}

TInstanceMessageReader::TStatus TInstanceMessageReader::Feed(std::string_view bytes) {
    if (status_ != TStatus::NeedMore) {
        if (!bytes.empty()) status_ = TStatus::Malformed;
        return status_;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (status_ == TStatus::Complete) return status_ = TStatus::Malformed; // after "end"
        const char c = bytes[i];
        if (c != '\n') {
            // The line with its "\n" may not pass the limit.
            if (line_.size() + 2 > kMaxInstanceLine) return status_ = TStatus::Malformed;
            line_ += c;
            continue;
        }
        if (line_ == "end") {
            status_ = TStatus::Complete;
        } else {
            std::optional<TInstanceRequest> request = ParseInstanceLine(line_);
            if (!request || requests_.size() == kMaxInstanceRequests)
                return status_ = TStatus::Malformed;
            requests_.push_back(std::move(*request));
        }
        line_.clear();
    }
    return status_;
}
