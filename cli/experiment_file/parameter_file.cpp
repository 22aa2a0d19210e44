#include "cli/experiment_file/parameter_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

namespace rs {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Walks the text as the scanf-style reading of the file would, counting lines for messages.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text(text) {}

    bool AtEnd() const { return position >= text.size(); }
    // The text not yet read.
    std::string_view Rest() const { return text.substr(position); }
    int Line() const { return line; }

    bool Accept(std::string_view literal) {
        if (text.substr(position).starts_with(literal)) {
            position += literal.size();
            return true;
        }
        return false;
    }

    // The number conversions skip any white space first, newlines included.
    void SkipSpace() {
        while (!AtEnd() && IsSpace(text[position])) {
            Advance();
        }
    }

    // The longest prefix of the form [sign] digits [. digits] [exponent] with at least one
    // digit before the exponent; empty when there is none.
    std::string_view TakeDecimal(bool allowFraction) {
        const std::size_t start = position;
        std::size_t p = position;
        if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
            ++p;
        }
        std::size_t digits = 0;
        while (p < text.size() && IsDigit(text[p])) {
            ++p;
            ++digits;
        }
        if (allowFraction && p < text.size() && text[p] == '.') {
            std::size_t q = p + 1;
            while (q < text.size() && IsDigit(text[q])) {
                ++q;
                ++digits;
            }
            if (digits > 0) {
                p = q;
            }
        }
        if (digits == 0) {
            return {};
        }
        if (allowFraction && p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
            std::size_t q = p + 1;
            if (q < text.size() && (text[q] == '+' || text[q] == '-')) {
                ++q;
            }
            if (q < text.size() && IsDigit(text[q])) {
                while (q < text.size() && IsDigit(text[q])) {
                    ++q;
                }
                p = q;
            }
        }
        position = p;
        return text.substr(start, p - start);
    }

    // Consumes up to and including the next newline; false if the text ends first.
    bool SkipLine() {
        while (!AtEnd()) {
            const char c = text[position];
            Advance();
            if (c == '\n') {
                return true;
            }
        }
        return false;
    }

  private:
    void Advance() {
        if (text[position] == '\n') {
            ++line;
        }
        ++position;
    }

    std::string_view text;
    std::size_t position = 0;
    int line = 1;
};

std::string Quoted(std::string_view key) {
    std::string quoted = "\"";
    quoted.append(key).append("=\"");
    return quoted;
}

std::string LinePrefix(int line) {
    return "line " + std::to_string(line) + ": ";
}

// Letters that scale a number in SI or engineering notation (1k, 1M, 2G, 5m, 3u, 3µ, 2n, 4p):
// 1M read as 1 would run a millionth of the experiment. Other letters, as in "1000blocks",
// start a remark.
constexpr std::string_view kMultipliers[] = {"k", "K", "M", "G", "T", "P",
                                             "m", "u", "µ", "μ", "n", "p"};

// What glued to a number would continue it: a digit, a point or comma, an exponent, a hex
// prefix, a digit separator or a multiplier. Empty when the number ends there.
std::string_view GluedContinuation(std::string_view rest) {
    if (rest.empty()) {
        return {};
    }
    const char next = rest.front();
    if (IsDigit(next) || next == '.' || next == ',' || next == 'e' || next == 'E' || next == 'x' ||
        next == 'X' || next == '_') {
        return rest.substr(0, 1);
    }
    for (const std::string_view multiplier : kMultipliers) {
        if (rest.starts_with(multiplier)) {
            return multiplier;
        }
    }
    return {};
}

// Text that would continue a number in some other notation (1e5 in an integer field, 0x10,
// 0,07, 1.5.3, 10_000, 1M) or digits after a blank (10 000 000) cannot be a remark: taking the
// number before it would silently run another experiment than the one written.
std::string GluedRefusal(const Cursor& cursor, std::string_view key, std::string_view token,
                         bool integer) {
    const std::string_view rest = cursor.Rest();
    std::string what;
    if (const std::string_view glued = GluedContinuation(rest); !glued.empty()) {
        // Appended piece by piece: g++ 12 at -O3 warns falsely on "..." + std::string.
        what.append(1, '"').append(glued).append(1, '"');
    } else {
        const std::size_t digits = rest.find_first_not_of(" \t");
        if (digits == std::string_view::npos || !IsDigit(rest[digits])) {
            return {};
        }
        const std::size_t end = rest.find_first_not_of("0123456789", digits);
        what.append("a blank and \"").append(rest.substr(digits, end - digits)).append(1, '"');
    }
    return std::string(key) + "=" + std::string(token) + " runs on into " + what + ": " +
           (integer ? "an integer is written in plain decimal digits"
                    : "a number is written with a decimal point and, if any, an exponent with "
                      "digits");
}

// Reads the number of one key into a float or an integer; empty string on success, else why
// not, without the line.
std::string ReadFloat(Cursor& cursor, std::string_view key, float& value) {
    cursor.SkipSpace();
    const std::string token(cursor.TakeDecimal(true));
    if (token.empty()) {
        return "expected a number after " + Quoted(key);
    }
    if (std::string glued = GluedRefusal(cursor, key, token, false); !glued.empty()) {
        return glued;
    }
    value = std::strtof(token.c_str(), nullptr);
    if (std::isinf(value)) {
        return std::string(key) + "=" + token + " is beyond the range of a single-precision number";
    }
    // A value nearer 0 than the smallest single-precision number reads as 0, which is not the
    // experiment written and which later messages could only show as 0.
    const std::string_view mantissa = std::string_view(token).substr(0, token.find_first_of("eE"));
    if (value == 0.0F && mantissa.find_first_not_of("+-.0") != std::string_view::npos) {
        return std::string(key) + "=" + token +
               " is too close to 0 for a single-precision number, which would hold 0";
    }
    return {};
}

template <typename Integer>
std::string ReadInteger(Cursor& cursor, std::string_view key, Integer& value) {
    cursor.SkipSpace();
    const std::string_view token = cursor.TakeDecimal(false);
    if (token.empty()) {
        return "expected a number after " + Quoted(key);
    }
    if (std::string glued = GluedRefusal(cursor, key, token, true); !glued.empty()) {
        return glued;
    }
    // from_chars takes a minus sign but not a plus sign.
    const std::string_view digits = token.front() == '+' ? token.substr(1) : token;
    const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (status != std::errc{} || end != digits.data() + digits.size()) {
        return std::string(key) + "=" + std::string(token) + " does not fit a " +
               std::to_string(8 * sizeof(Integer)) + "-bit integer";
    }
    return {};
}

// A value given alone, as an option gives it: the number, by the file's rules, and nothing after
// it.
template <typename Read>
std::string ReadAlone(std::string_view text, std::string_view key, Read read) {
    Cursor cursor(text);
    std::string error = read(cursor);
    if (error.empty() && !cursor.AtEnd()) {
        error = std::string(key) + "=" + std::string(text) + " is not a number alone";
    }
    return error;
}

}  // namespace

ParameterResult ParseParameters(std::string_view text) {
    SimulationParameters parameters;
    struct Field {
        std::string_view key;
        float* real;
        std::int32_t* integer;
        std::int64_t* count;  // read by the same 32-bit rule as the others
    };
    const Field fields[] = {
        {"Pmax", &parameters.Pmax, nullptr, nullptr},
        {"Pmin", &parameters.Pmin, nullptr, nullptr},
        {"Pstep", &parameters.Pstep, nullptr, nullptr},
        {"maxBlocks", nullptr, nullptr, &parameters.maxBlocks},
        {"maxErrorBlocks", nullptr, nullptr, &parameters.maxErrorBlocks},
        {"M", nullptr, &parameters.M, nullptr},
        {"T", nullptr, &parameters.T, nullptr},
    };
    constexpr std::size_t lastField = std::size(fields) - 1;

    Cursor cursor(text);
    // Some editors on Windows start a UTF-8 file with a byte-order mark.
    cursor.Accept("\xEF\xBB\xBF");
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        const Field& field = fields[i];
        const int keyLine = cursor.Line();
        if (cursor.AtEnd()) {
            return {std::nullopt, LinePrefix(keyLine) + "expected " + Quoted(field.key) +
                                      " and a number, but the file ends"};
        }
        if (!cursor.Accept(field.key) || !cursor.Accept("=")) {
            return {std::nullopt, LinePrefix(keyLine) + "expected " + Quoted(field.key) +
                                      " at the start of the line"};
        }
        std::int32_t count = 0;
        std::string error = field.real != nullptr ? ReadFloat(cursor, field.key, *field.real)
                            : field.integer != nullptr
                                ? ReadInteger(cursor, field.key, *field.integer)
                                : ReadInteger(cursor, field.key, count);
        if (!error.empty()) {
            return {std::nullopt, LinePrefix(keyLine) + error};
        }
        if (field.count != nullptr) {
            *field.count = count;
        }
        // Text after the number is a remark; the last line is read no further than its number.
        if (i != lastField && !cursor.SkipLine()) {
            return {std::nullopt, LinePrefix(cursor.Line()) +
                                      "the file ends before the newline that ends this line"};
        }
    }
    return {parameters, {}};
}

std::string ParseSweepOption(std::string_view text, SimulationParameters& parameters) {
    float* const lines[] = {&parameters.Pmax, &parameters.Pmin, &parameters.Pstep};
    constexpr std::string_view kKeys[] = {"Pmax", "Pmin", "Pstep"};
    std::string_view rest = text;
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        const std::size_t colon = rest.find(':');
        if ((colon == std::string_view::npos) != (i + 1 == std::size(kKeys))) {
            // Appended piece by piece: g++ 12 at -O3 warns falsely on "..." + std::string.
            std::string error(1, '"');
            return error.append(text).append("\" is not PMAX:PMIN:PSTEP, three numbers");
        }
        const std::string_view number = rest.substr(0, colon);
        if (std::string error =
                ReadAlone(number, kKeys[i],
                          [&](Cursor& cursor) { return ReadFloat(cursor, kKeys[i], *lines[i]); });
            !error.empty()) {
            return error;
        }
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return {};
}

template <typename Integer>
std::string ParseIntegerOption(std::string_view text, std::string_view key, Integer& value) {
    // The value stays as it was unless the whole text is the number.
    Integer number = 0;
    std::string error =
        ReadAlone(text, key, [&](Cursor& cursor) { return ReadInteger(cursor, key, number); });
    if (error.empty()) {
        value = number;
    }
    return error;
}
template std::string ParseIntegerOption(std::string_view, std::string_view, std::int32_t&);
template std::string ParseIntegerOption(std::string_view, std::string_view, std::int64_t&);

ParameterResult ReadParameters(const std::filesystem::path& path, const std::string& name) {
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    if (!file) {
        return {std::nullopt, name + ": cannot open: " + std::strerror(errno)};
    }
    // A device such as /dev/zero would never end, and a directory has no lines.
    struct stat status {};
    if (fstat(fileno(file.get()), &status) != 0) {
        return {std::nullopt, name + ": cannot read: " + std::strerror(errno)};
    }
    if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) {
        return {std::nullopt, name + ": is not a regular file or a pipe"};
    }
    // Seven lines need far less than this; more is not an experiment file.
    std::string text;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, got);
        if (text.size() > kMaxParameterFileBytes) {
            return {std::nullopt, name + ": is larger than " +
                                      std::to_string(kMaxParameterFileBytes / (1024 * 1024)) +
                                      " MiB, far more than an experiment file's seven lines"};
        }
    }
    if (std::ferror(file.get()) != 0) {
        return {std::nullopt, name + ": cannot read: " + std::strerror(errno)};
    }
    ParameterResult result = ParseParameters(text);
    if (!result.parameters) {
        result.error = name + ": " + result.error;
    }
    return result;
}

}  // namespace rs
