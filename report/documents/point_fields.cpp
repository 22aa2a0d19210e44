#include "report/documents/point_fields.h"

#include <charconv>
#include <cstdlib>
#include <string>

#include "stats/bounded_distance.h"
#include "stats/confidence_interval.h"

namespace rs {

PointFields DerivePointFields(const PointRecord& record, const CodeShape& code) {
    const PointStatistics& s = record.statistics;
    const PointRates rates = ComputeRates(s, code.n, code.k);
    PointFields fields;
    fields.P0 = record.P0;
    fields.counts = s;
    fields.channelSER = rates.channelSER;
    fields.FER = rates.FER;
    const Interval interval = ClopperPearson(s.errorBlocks, s.blocks);
    fields.FERLow = interval.low;
    fields.FERHigh = interval.high;
    fields.SER = rates.SER;
    fields.BER = static_cast<double>(s.bitErrors) /
                 (static_cast<double>(rates.transmittedSymbols) * static_cast<double>(code.m));
    fields.theoryFER =
        BoundedDistanceBlockErrorProbability(code.n, code.t, static_cast<double>(record.P0));
    fields.seconds = record.seconds;
    return fields;
}


}  // namespace rs
