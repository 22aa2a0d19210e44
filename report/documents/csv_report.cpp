#include "report/documents/csv_report.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "report/documents/csv_field.h"
#include "report/text/channel_text.h"
#include "report/text/number_format.h"

namespace rs {

namespace {

std::vector<std::string_view> SplitFields(std::string_view row) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = row.find(',', start);
        fields.push_back(row.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

template <typename Integer>
bool Equals(std::string_view text, Integer expected) {
    Integer value{};
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return status == std::errc{} && end == text.data() + text.size() && value == expected;
}

}  // namespace

const char* const CsvReport::kHeader =
    "P0,blocks,errorBlocks,channelErrors,errorSymbols,bitErrors,detectedFailures,miscorrections,"
    "channelSER,FER,FERLow,FERHigh,SER,SERLow,SERHigh,BER,theoryFER,seconds";

std::string CsvHeader(const rs_sim::Channel& channel) {
    std::string header = std::string(CsvReport::kHeader) + ',' + kCsvIdentityColumns;
    if (!IsDefaultChannel(channel)) {
        header += ",interleave,channelBitErrors,channelBER";
    }
    if (CountsErasures(channel)) {
        header += ",channelErasures,errorsCorrected,erasuresCorrected";
    }
    if (!ThresholdText(channel).empty()) {
        header += ",eraseBelow";
    }
    return header;
}

std::string CsvRow(const rs_sim::PointResult& point, const rs_sim::CodeFacts& code,
                   const rs_sim::Channel& channel, std::int32_t interleave) {
    std::string row = CsvRow(point);
    row.pop_back();  // its newline
    row += CsvIdentity(code, channel, "monte-carlo");
    if (!IsDefaultChannel(channel)) {
        const bool bits = CountsChannelBits(channel);
        row += ',' + CsvField(interleave);
        row += ',' + (bits ? CsvField(point.counts.channelBitErrors) : std::string());
        row += ',' + (bits ? CsvField(point.channelBER) : std::string());
    }
    if (CountsErasures(channel)) {
        row += ',' + CsvField(point.counts.channelErasures);
        row += ',' + CsvField(point.counts.errorsCorrected);
        row += ',' + CsvField(point.counts.erasuresCorrected);
    }
    if (!ThresholdText(channel).empty()) {
        row += ',' + (point.eraseBelow ? CsvField(*point.eraseBelow) : std::string());
    }
    return row + '\n';
}

std::string CsvRow(const rs_sim::PointResult& point) {
    std::string row = CsvField(point.P0);
    const rs_sim::Counts& c = point.counts;
    for (const std::int64_t count : {c.blocks, c.errorBlocks, c.channelErrors, c.errorSymbols,
                                     c.bitErrors, c.failures, c.miscorrections}) {
        row += ',' + CsvField(count);
    }
    for (const double rate :
         {point.channelSER, point.FER, point.FERLow, point.FERHigh, point.SER, point.SERLow,
          point.SERHigh, point.BER, point.theoryFER, point.seconds}) {
        row += ',' + CsvField(rate);
    }
    return row + '\n';
}

std::string CsvReport::Open(const std::filesystem::path& csvPath, std::size_t keptBytes) {
    path = csvPath;
    const auto failure = [&](const char* what) {
        return path.string() + ": cannot " + what + ": " + std::strerror(errno);
    };
    if (keptBytes == 0) {
        file.reset(std::fopen(path.c_str(), "w"));
        if (!file) {
            return failure("create");
        }
        if (std::fputs(CsvHeader(channel).c_str(), file.get()) < 0 ||
            std::fputc('\n', file.get()) < 0 || std::fflush(file.get()) != 0) {
            return failure("write");
        }
        return {};
    }
    std::error_code error;
    std::filesystem::resize_file(path, keptBytes, error);
    if (error) {
        return path.string() + ": cannot shorten: " + error.message();
    }
    file.reset(std::fopen(path.c_str(), "a"));
    return file ? std::string() : failure("open");
}

std::string CsvReport::Add(const rs_sim::PointResult& point) {
    const std::string row = CsvRow(point, code, channel, interleave);
    if (std::fwrite(row.data(), 1, row.size(), file.get()) != row.size() ||
        std::fflush(file.get()) != 0) {
        return path.string() + ": cannot write: " + std::strerror(errno);
    }
    return {};
}

CsvReport::Kept CsvReport::ReadKeptRows(const std::filesystem::path& csvPath,
                                        const std::vector<ReportedPoint>& reported) const {
    Kept kept;
    if (reported.empty()) {
        return kept;  // nothing to keep: the file starts afresh
    }
    const std::string name = csvPath.string();
    CompanionText companion = ReadCompanion(csvPath, reported.size());
    if (!companion.error.empty()) {
        kept.error = std::move(companion.error);
        return kept;
    }
    const std::string& text = companion.text;
    const std::string columns = CsvHeader(channel);
    const std::string header = columns + '\n';
    if (!text.starts_with(header)) {
        kept.error = name + ": cannot resume: its header line is not that of rs-sim's CSV report" +
                     (IsDefaultChannel(channel)
                          ? ""
                          : std::string(" on the ") + rs_sim::ChannelName(channel) + " channel");
        return kept;
    }
    std::size_t position = header.size();
    for (std::size_t i = 0; i < reported.size(); ++i) {
        const std::size_t newline = text.find('\n', position);
        const ReportedPoint& r = reported[i];
        const auto fail = [&] {
            kept.error =
                name + ": cannot resume: row " + std::to_string(i + 1) +
                (newline == std::string::npos ? " is missing" : " differs from the report file");
            return kept;
        };
        if (newline == std::string::npos) {
            return fail();
        }
        const auto fields =
            SplitFields(std::string_view(text).substr(position, newline - position));
        float P0 = 0.0F;
        if (fields.size() != SplitFields(columns).size() ||
            std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), P0).ec !=
                std::errc{} ||
            FormatScientific2(static_cast<double>(P0)) != r.P0Text ||
            !Equals(fields[1], r.blocks) || !Equals(fields[2], r.errorBlocks) ||
            !Equals(fields[4], r.errorSymbols)) {
            return fail();
        }
        position = newline + 1;
    }
    kept.bytes = position;
    return kept;
}

}  // namespace rs
