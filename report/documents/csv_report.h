#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "report/text/report_file.h"
#include "rs_sim/results.h"

namespace rs {

// The CSV report: one header line, then one row per point, each row flushed as its point
// ends, so an interrupted run leaves every complete point.
class CsvReport {
  public:
    // The columns on the default channel.
    static const char* const kHeader;

    // On a channel other than the default the rows also name the channel and the interleaving,
    // and give the channel's bit errors and their rate (empty and nan where it flips no bits).
    explicit CsvReport(const rs_sim::Channel& channel = rs_sim::QarySymmetricChannel{},
                       std::int32_t interleave = 1)
        : channel(channel), interleave(interleave) {}

    // Creates the file with its header line, or, for a resumed run, keeps its first keptBytes
    // bytes (header and kept rows) and drops the rest. Returns an error message, empty on
    // success.
    std::string Open(const std::filesystem::path& path, std::size_t keptBytes = 0);
    std::string Add(const rs_sim::PointResult& point);

    // For a resumed run: the length of the header and of the rows that match the points the
    // report file keeps, or why the file cannot be resumed.
    struct Kept {
        std::size_t bytes = 0;
        std::string error;
    };
    Kept ReadKeptRows(const std::filesystem::path& path,
                      const std::vector<ReportedPoint>& reported) const;

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    rs_sim::Channel channel;
    std::int32_t interleave;
    std::filesystem::path path;
    std::unique_ptr<std::FILE, FileCloser> file;
};

// The header line's columns on the channel, without the newline.
std::string CsvHeader(const rs_sim::Channel& channel);
std::string CsvRow(const rs_sim::PointResult& point);
std::string CsvRow(const rs_sim::PointResult& point, const rs_sim::Channel& channel,
                   std::int32_t interleave);

}  // namespace rs
