#include "report/text/report_layout.h"

#include "report/text/number_format.h"

namespace rs {

std::string FormatFigure(Figure figure, const FigureValue& value) {
    switch (kPointLayout[FigureIndex(figure)].form) {
        case FigureForm::kScientific:
            return FormatScientific2(std::get<double>(value));
        case FigureForm::kFixed:
            return FormatFixed2(std::get<double>(value));
        case FigureForm::kCount:
            return std::to_string(std::get<std::int64_t>(value));
    }
    return {};
}

}  // namespace rs
