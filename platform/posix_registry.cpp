// HKEY_CURRENT_USER of the Linux platform, read from a registry-export file.
#include "platform/posix_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix_errors.h"
#include "platform/posix_platform.h"

namespace platform {

namespace {

// The two formats of export: REGEDIT4 holds ANSI text, version 5.00 holds
// the data of hex(2) values as UTF-16LE.
enum class ExportFormat { Regedit4, Version5 };

struct ExportHeader {
    std::string_view Text;
    ExportFormat Format;
};

constexpr ExportHeader ExportHeaders[] = {
    {"REGEDIT4", ExportFormat::Regedit4},
    {"Windows Registry Editor Version 5.00", ExportFormat::Version5},
};
constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
// The registry editor of Windows saves its exports as UTF-16LE text.
constexpr std::string_view Utf16LeMark = "\xFF\xFE";
constexpr std::string_view Utf16BeMark = "\xFE\xFF";
constexpr std::string_view Blanks = " \t";
constexpr std::string_view RootPrefix = "HKEY_";
constexpr std::string_view CurrentUserRoot = "HKEY_CURRENT_USER\\";
constexpr std::string_view StringPrefix = "\"";
constexpr std::string_view DwordPrefix = "dword:";
constexpr std::string_view HexPrefix = "hex";
constexpr std::string_view RegistryFileBelowConfig = "/formsplit/registry.reg";
// Far more than an export of a few keys needs; it bounds the memory that a
// registry file can take.
constexpr size_t RegistryFileSizeLimit = 1024 * 1024;
constexpr char ProgramName[] = "formsplit";

// Registry results besides ErrorSuccess.
constexpr int32_t RegistryFileNotFound = 2;
constexpr int32_t RegistryInvalidHandle = 6;
constexpr int32_t RegistryInvalidParameter = 87;
constexpr int32_t RegistryMoreData = 234;
constexpr int32_t RegistryBadDatabase = 1009;

// The keys opened so far and not yet closed, each with its values as the
// file held them when it was opened.
std::map<Handle, RegistryKeyValues> openKeys;
Handle nextKeyHandle = KeyHandleBase;

// How the parse of a malformed text ends.
struct Malformed {
    int Line;
    std::string What;
};

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos) return std::string_view();
    const size_t last = text.find_last_not_of(Blanks);
    return text.substr(first, last - first + 1);
}

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           FoldedName(text.substr(0, prefix.size())) == FoldedName(prefix);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(uint32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Appends UTF-16LE bytes to `out` as UTF-8. False, with the text so far
// appended, at an odd last byte or a surrogate without its pair.
bool AppendUtf16LeAsUtf8(std::string_view bytes, std::string& out) {
    auto unitAt = [bytes](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) |
                                     static_cast<uint8_t>(bytes[at + 1]) << 8);
    };
    const size_t whole = bytes.size() - bytes.size() % 2;
    for (size_t at = 0; at < whole; at += 2) {
        uint32_t unit = unitAt(at);
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            at += 2;
            const uint32_t low = at < whole ? unitAt(at) : 0;
            if (low < 0xDC00 || low > 0xDFFF) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(unit, out);
    }
    return whole == bytes.size();
}

// The physical lines of the text, CR LF or LF, each without its line end.
class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}

    bool Next(std::string_view& line) {
        if (rest_.empty()) return false;
        const size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number_;
        return true;
    }
    int Number() const { return number_; }
    // An empty text is wrong on its first line, which it does not have.
    [[noreturn]] void Fail(std::string what) const {
        throw Malformed{std::max(number_, 1), std::move(what)};
    }

private:
    std::string_view rest_;
    int number_ = 0;
};

// A number of 1 to 8 hexadecimal digits, the whole of `digits`.
uint32_t ParseHexNumber(std::string_view digits, const LineReader& lines, const char* what) {
    if (digits.empty() || digits.size() > 8)
        lines.Fail(std::string(what) + " needs 1 to 8 hexadecimal digits");
    uint32_t value = 0;
    for (char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) lines.Fail(std::string(what) + ": '" + c + "' is not a hexadecimal digit");
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

// A double-quoted text starting at text[pos], with the escapes \\ and \";
// pos ends just after the closing quote.
std::string ParseQuoted(std::string_view text, size_t& pos, const LineReader& lines) {
    std::string result;
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return result;
        }
        if (c == '\\') {
            if (pos + 1 == text.size()) break;
            const char escaped = text[++pos];
            if (escaped != '\\' && escaped != '"') {
                lines.Fail(std::string("unknown escape '\\") + escaped +
                           "' (only \\\\ and \\\" are known)");
            }
            result += escaped;
        } else {
            result += c;
        }
    }
    lines.Fail("the line ends inside a quoted text");
}

// The bytes of a hex: list, which goes on over the next lines while a line
// of it ends with a backslash.
std::string ParseHexBytes(std::string_view list, LineReader& lines) {
    std::string bytes;
    bool byteExpected = false;  // after a comma
    for (;;) {
        const bool continues = !list.empty() && list.back() == '\\';
        if (continues) list = Trimmed(list.substr(0, list.size() - 1));
        size_t pos = 0;
        while (pos < list.size()) {
            if (!bytes.empty() && !byteExpected) {
                if (list[pos] != ',') lines.Fail("expected ',' between the bytes");
                pos = list.find_first_not_of(Blanks, pos + 1);
                byteExpected = true;
                if (pos == std::string_view::npos) break;
            }
            const size_t end = std::min(list.find_first_of(", \t", pos), list.size());
            const std::string_view digits = list.substr(pos, end - pos);
            if (digits.empty() || digits.size() > 2) {
                lines.Fail("expected a byte of one or two hexadecimal digits");
            }
            bytes += static_cast<char>(ParseHexNumber(digits, lines, "a byte"));
            byteExpected = false;
            pos = std::min(list.find_first_not_of(Blanks, end), list.size());
        }
        if (!continues) break;
        std::string_view next;
        if (!lines.Next(next)) lines.Fail("the file ends where the continued line should go on");
        list = Trimmed(next);
    }
    if (byteExpected) lines.Fail("a ',' with no byte after it");
    return bytes;
}

RegistryValue ParseData(std::string_view data, LineReader& lines, ExportFormat format) {
    if (data.substr(0, StringPrefix.size()) == StringPrefix) {
        size_t pos = 0;
        RegistryValue value{RegSz, ParseQuoted(data, pos, lines)};
        if (pos != data.size()) lines.Fail("unexpected text after the closing quote");
        value.Data += '\0';
        return value;
    }
    if (StartsWithFolded(data, DwordPrefix)) {
        const uint32_t number = ParseHexNumber(data.substr(DwordPrefix.size()), lines, "a dword");
        std::string bytes;
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>((number >> shift) & 0xFF);
        return {RegDword, bytes};
    }
    if (StartsWithFolded(data, HexPrefix)) {
        data.remove_prefix(HexPrefix.size());
        uint32_t type = RegBinary;
        if (!data.empty() && data.front() == '(') {
            const size_t close = data.find(')');
            if (close == std::string_view::npos) lines.Fail("missing ')' after hex(");
            type = ParseHexNumber(data.substr(1, close - 1), lines, "a value type");
            data.remove_prefix(close + 1);
        }
        if (data.empty() || data.front() != ':') lines.Fail("expected ':' after hex or hex(n)");
        std::string bytes = ParseHexBytes(Trimmed(data.substr(1)), lines);
        if (type != RegExpandSz || format == ExportFormat::Regedit4)
            return {type, std::move(bytes)};
        // The same bytes that the string form of the value gives here.
        std::string text;
        if (!AppendUtf16LeAsUtf8(bytes, text)) {
            lines.Fail(
                "hex(2) data of a version 5.00 file is UTF-16LE text: an even number of bytes, "
                "surrogates in pairs");
        }
        return {type, std::move(text)};
    }
    if (data == "-") lines.Fail("deleting a value is not supported");
    lines.Fail("unknown value data; expected \"text\", dword:, hex: or hex(n):");
}

// A value line: "name"=data or @=data.
void ParseValueLine(std::string_view line, LineReader& lines, ExportFormat format,
                    RegistryKeyValues& values) {
    size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
        pos = 1;
    } else {
        name = ParseQuoted(line, pos, lines);
    }
    const std::string_view rest = Trimmed(line.substr(pos));
    if (rest.empty() || rest.front() != '=') lines.Fail("expected '=' after the value name");
    values[FoldedName(name)] = ParseData(Trimmed(rest.substr(1)), lines, format);
}

// The full path of the key that a [key] line opens.
std::string ParseKeyLine(std::string_view line, const LineReader& lines) {
    if (line.back() != ']') lines.Fail("a key line must end with ']'");
    const std::string_view path = line.substr(1, line.size() - 2);
    if (!path.empty() && path.front() == '-') lines.Fail("deleting a key is not supported");
    if (!StartsWithFolded(path, RootPrefix)) {
        lines.Fail("a key path starts with a root key such as HKEY_CURRENT_USER");
    }
    return FoldedName(path);
}

ExportFormat ParseHeader(LineReader& lines) {
    std::string_view header;
    if (!lines.Next(header)) lines.Fail("the file is empty");
    if (header.substr(0, Utf16BeMark.size()) == Utf16BeMark) {
        lines.Fail(
            "UTF-16 big-endian text is not supported; save the file as UTF-16LE, ANSI or UTF-8");
    }
    if (header.substr(0, Utf8Mark.size()) == Utf8Mark) header.remove_prefix(Utf8Mark.size());
    header = Trimmed(header);
    for (const ExportHeader& known : ExportHeaders) {
        if (header == known.Text) return known.Format;
    }
    lines.Fail("the first line must be \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"");
}

void ParseBody(LineReader& lines, ExportFormat format,
               std::map<std::string, RegistryKeyValues>& keys) {
    RegistryKeyValues* currentKey = nullptr;
    std::string_view line;
    while (lines.Next(line)) {
        line = Trimmed(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            currentKey = &keys[ParseKeyLine(line, lines)];
        } else if (line.front() == '"' || line.front() == '@') {
            if (currentKey == nullptr) lines.Fail("a value line before the first [key] line");
            ParseValueLine(line, lines, format, *currentKey);
        } else {
            lines.Fail("expected a [key] line, a \"value\"= line, a ; comment or a blank line");
        }
    }
}

void Complain(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "%s: %s: %s\n", ProgramName, path.c_str(), what.c_str());
}

// A file descriptor, closed when this goes.
class OpenFile {
public:
    explicit OpenFile(int descriptor) : descriptor_(descriptor) {}
    ~OpenFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int Descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

// The whole file, or the errno of the failure. Only a regular file of at
// most RegistryFileSizeLimit bytes is read: what is wrong with any other
// goes to `wrong`. The file is opened without blocking, so that a named
// pipe without a writer cannot hang the run.
int ReadRegistryFile(const std::string& path, std::string& text, std::string& wrong) {
    const OpenFile file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Descriptor() < 0) return errno;
    struct stat info;
    if (fstat(file.Descriptor(), &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (!S_ISREG(info.st_mode)) {
        wrong = "not a regular file";
        return 0;
    }
    char chunk[4096];
    ssize_t got;
    // One byte past the limit tells a file that has grown since.
    while (text.size() <= RegistryFileSizeLimit &&
           (got = ::read(file.Descriptor(), chunk, sizeof chunk)) != 0) {
        if (got > 0) {
            text.append(chunk, static_cast<size_t>(got));
        } else if (errno != EINTR) {
            return errno;
        }
    }
    if (text.size() > RegistryFileSizeLimit)
        wrong = "larger than 1 MiB, too large for a registry file";
    return 0;
}

// The keys of the registry file, with a registry result: a missing file
// holds no key; one that cannot be read or is malformed is said so on
// standard error, and no key of it can be opened.
int32_t LoadRegistry(std::map<std::string, RegistryKeyValues>& keys) {
    const std::string path = RegistryFilePath();
    if (path.empty()) return RegistryFileNotFound;
    std::string text;
    std::string wrong;
    const int error = ReadRegistryFile(path, text, wrong);
    if (error == ENOENT || error == ENOTDIR) return RegistryFileNotFound;
    if (error != 0) {
        Complain(path, std::strerror(error));
        return static_cast<int32_t>(Win32ErrorFromErrno(error));
    }
    if (!wrong.empty()) {
        Complain(path, wrong);
        return RegistryBadDatabase;
    }
    RegistryExport parsed = ParseRegistryExport(text);
    if (parsed.ErrorLine != 0) {
        Complain(path + ":" + std::to_string(parsed.ErrorLine), parsed.Error);
        return RegistryBadDatabase;
    }
    keys = std::move(parsed.Keys);
    return ErrorSuccess;
}

std::string NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string FoldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

RegistryExport ParseRegistryExport(std::string_view text) {
    RegistryExport result;
    std::string decoded;
    if (text.substr(0, Utf16LeMark.size()) == Utf16LeMark) {
        const bool wellFormed = AppendUtf16LeAsUtf8(text.substr(Utf16LeMark.size()), decoded);
        text = decoded;
        if (!wellFormed) {
            // The line of the first unit that is wrong.
            result.ErrorLine =
                static_cast<int>(std::count(decoded.begin(), decoded.end(), '\n')) + 1;
            result.Error =
                "malformed UTF-16LE text: an odd number of bytes, or a surrogate without its pair";
            return result;
        }
    }
    LineReader lines(text);
    try {
        ParseBody(lines, ParseHeader(lines), result.Keys);
    } catch (Malformed& malformed) {
        result.Keys.clear();
        result.ErrorLine = malformed.Line;
        result.Error = std::move(malformed.What);
    }
    return result;
}

std::string RegistryFilePath() {
    const std::string chosen = NonEmptyVariable("FORMSPLIT_REGISTRY");
    if (!chosen.empty()) return chosen;
    std::string configHome = NonEmptyVariable("XDG_CONFIG_HOME");
    if (configHome.empty()) {
        const std::string home = NonEmptyVariable("HOME");
        if (home.empty()) return std::string();
        configHome = home + "/.config";
    }
    return configHome + std::string(RegistryFileBelowConfig);
}

int32_t PosixPlatform::RegOpenKeyExA(const char* subKey, Handle* key) {
    std::map<std::string, RegistryKeyValues> keys;
    const int32_t loaded = LoadRegistry(keys);
    if (loaded != ErrorSuccess) return loaded;
    auto found = keys.find(FoldedName(std::string(CurrentUserRoot) + subKey));
    if (found == keys.end()) return RegistryFileNotFound;
    *key = nextKeyHandle++;
    openKeys.emplace(*key, std::move(found->second));
    return ErrorSuccess;
}

int32_t PosixPlatform::RegQueryValueExA(Handle key, const char* name, uint32_t* type, uint8_t* data,
                                        uint32_t* size) {
    auto openKey = openKeys.find(key);
    if (openKey == openKeys.end()) return RegistryInvalidHandle;
    auto found = openKey->second.find(FoldedName(name == nullptr ? "" : name));
    if (found == openKey->second.end()) return RegistryFileNotFound;
    const RegistryValue& value = found->second;
    const auto needed = static_cast<uint32_t>(value.Data.size());
    if (type != nullptr) *type = value.Type;
    if (data == nullptr) {
        if (size != nullptr) *size = needed;
        return ErrorSuccess;
    }
    if (size == nullptr) return RegistryInvalidParameter;
    const uint32_t room = *size;
    *size = needed;
    if (room < needed) return RegistryMoreData;
    std::memcpy(data, value.Data.data(), needed);
    return ErrorSuccess;
}

void PosixPlatform::RegCloseKey(Handle key) {
    openKeys.erase(key);
}

}  // namespace platform
