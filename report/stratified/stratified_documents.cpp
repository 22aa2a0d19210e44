#include "report/stratified/stratified_documents.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "report/documents/csv_field.h"
#include "report/stratified/stratified_json.h"
#include "report/text/channel_text.h"
#include "rs_sim/simulator.h"

namespace rs {

const char* const kStratifiedCsvHeader =
    "P0,channelSER,FER,FERLow,FERHigh,log10FER,log10FERLow,log10FERHigh,SER,SERLow,SERHigh,"
    "log10SER,log10SERLow,log10SERHigh,BER,BERLow,BERHigh,log10BER,log10BERLow,log10BERHigh,"
    "failureRate,failureRateLow,failureRateHigh,log10FailureRate,log10FailureRateLow,"
    "log10FailureRateHigh,miscorrectionRate,miscorrectionRateLow,miscorrectionRateHigh,"
    "log10MiscorrectionRate,log10MiscorrectionRateLow,log10MiscorrectionRateHigh,theoryFER,"
    "log10TheoryFER,log10Tail";

std::string StratifiedCsvHeader(const rs_sim::Channel& channel) {
    std::string header = std::string(kStratifiedCsvHeader) + ',' + kCsvIdentityColumns;
    if (!IsDefaultChannel(channel)) {
        header += ",channelBER";
    }
    if (!ThresholdText(channel).empty()) {
        header += ",eraseBelow";
    }
    return header;
}

std::string StratifiedCsv(const rs_sim::StratifiedResults& result, const rs_sim::CodeFacts& code,
                          const rs_sim::Channel& channel) {
    std::string csv = StratifiedCsvHeader(channel) + "\n";
    for (const rs_sim::StratifiedPoint& point : result.points) {
        std::vector<double> fields = {point.P0, ChannelSER(point, channel)};
        for (const auto& [rate, name] : kRateNames) {
            const rs_sim::LogEstimate& e = point.rates[static_cast<std::size_t>(rate)];
            for (const double value : {e.value, e.low, e.high}) {
                fields.push_back(PlainValue(value));
            }
            for (const double value : {e.value, e.low, e.high}) {
                fields.push_back(Log10(value));
            }
        }
        fields.insert(fields.end(),
                      {PlainValue(point.theoryFER), Log10(point.theoryFER), Log10(point.tail)});
        for (std::size_t i = 0; i < fields.size(); ++i) {
            csv.append(i == 0 ? "" : ",").append(CsvField(fields[i]));
        }
        csv += CsvIdentity(code, channel, "stratified");
        if (!IsDefaultChannel(channel)) {
            csv += ',' + (CountsChannelBits(channel) ? CsvField(point.channelBER) : std::string());
        }
        if (!ThresholdText(channel).empty()) {
            csv += ',' + (point.eraseBelow ? CsvField(*point.eraseBelow) : std::string());
        }
        csv.append("\n");
    }
    return csv;
}

std::vector<EstimatedPoint> EstimatedPoints(const rs_sim::StratifiedResults& result) {
    std::vector<EstimatedPoint> points;
    for (const rs_sim::StratifiedPoint& point : result.points) {
        const auto plain = [&](rs_sim::Rate rate) {
            const rs_sim::LogEstimate& e = point.rates[static_cast<std::size_t>(rate)];
            return std::array<double, 3>{PlainValue(e.value), PlainValue(e.low),
                                         PlainValue(e.high)};
        };
        points.push_back({point.P0, plain(rs_sim::Rate::kFER), plain(rs_sim::Rate::kSER),
                          plain(rs_sim::Rate::kBER), plain(rs_sim::Rate::kMiscorrection)[0]});
    }
    return points;
}

}  // namespace rs
