#pragma once

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
    static const char* const kHeader;

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
    static Kept ReadKeptRows(const std::filesystem::path& path,
                             const std::vector<ReportedPoint>& reported);

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::filesystem::path path;
    std::unique_ptr<std::FILE, FileCloser> file;
};

std::string CsvRow(const rs_sim::PointResult& point);

}  // namespace rs
