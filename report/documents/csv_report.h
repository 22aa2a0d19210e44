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
    // The point's counts and rates, the columns every row starts with.
    static const char* const kHeader;

    // Every row then names the code's n and k, the channel and the method; on a channel other
    // than the default it also gives the interleaving and the channel's bit errors and their
    // rate (empty where it flips no bits).
    CsvReport(const rs_sim::CodeFacts& code, const rs_sim::Channel& channel,
              std::int32_t interleave)
        : code(code), channel(channel), interleave(interleave) {}

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
    rs_sim::CodeFacts code;
    rs_sim::Channel channel;
    std::int32_t interleave;
    std::filesystem::path path;
    std::unique_ptr<std::FILE, FileCloser> file;
};

// The header line's columns on the channel, without the newline.
std::string CsvHeader(const rs_sim::Channel& channel);
std::string CsvRow(const rs_sim::PointResult& point);
std::string CsvRow(const rs_sim::PointResult& point, const rs_sim::CodeFacts& code,
                   const rs_sim::Channel& channel, std::int32_t interleave);

}  // namespace rs
