// rs_sim.Code: the codec of include/rs_sim/codec.h on numpy arrays, one word or a 2-D batch.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "python/bindings.h"
#include "rs_sim/codec.h"

namespace py = pybind11;

namespace rs_sim::python {

namespace {

using SymbolArray = py::array_t<std::uint32_t, py::array::c_style | py::array::forcecast>;

// Refuses what would not convert to 32-bit symbols exactly: a non-integer or negative value.
SymbolArray Symbols(const py::array& values, const char* what) {
    if (const char kind = values.dtype().kind(); kind != 'i' && kind != 'u') {
        throw py::type_error(std::string(what) + " takes integer symbols, not an array of dtype " +
                             py::str(values.dtype()).cast<std::string>());
    }
    if (values.dtype().kind() == 'i' && py::cast<bool>(values.attr("size")) &&
        py::cast<std::int64_t>(values.attr("min")()) < 0) {
        throw py::value_error(std::string(what) + ": symbols cannot be negative");
    }
    return SymbolArray::ensure(values);
}

// Erasure positions as 32-bit integers, refusing what would not convert exactly: a value that
// is not an integer, or one beyond any word's length (which a cast would wrap into range).
py::array_t<std::int32_t> Positions(const py::object& erasures) {
    const py::array given = py::array::ensure(erasures);
    if (!given ||
        (given.size() > 0 && given.dtype().kind() != 'i' && given.dtype().kind() != 'u')) {
        throw py::type_error("decode takes integer erasure positions, not " +
                             py::str(py::repr(erasures)).cast<std::string>());
    }
    if (given.size() > 0) {
        // Compared as Python integers, which hold any value numpy's integers do.
        for (const char* end : {"min", "max"}) {
            const py::int_ position(given.attr(end)());
            if (position < py::int_(std::numeric_limits<std::int32_t>::min()) ||
                position > py::int_(std::numeric_limits<std::int32_t>::max())) {
                throw py::value_error("decode: erasure position " +
                                      py::str(static_cast<const py::handle&>(position)).cast<std::string>() +
                                      " is beyond any word");
            }
        }
    }
    return py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>::ensure(given);
}

// A word or a batch of words: the rows of a 2-D array, the one row of a 1-D one.
struct Rows {
    SymbolArray array;
    py::ssize_t count = 0;
    py::ssize_t width = 0;
    bool batch = false;
};

Rows RowsOf(const py::array& values, const char* what) {
    Rows rows{Symbols(values, what)};
    if (rows.array.ndim() == 1) {
        rows.count = 1;
        rows.width = rows.array.shape(0);
    } else if (rows.array.ndim() == 2) {
        rows.batch = true;
        rows.count = rows.array.shape(0);
        rows.width = rows.array.shape(1);
    } else {
        throw py::value_error(std::string(what) + " takes one word or a 2-D batch of words");
    }
    return rows;
}

std::span<const std::uint32_t> Row(const Rows& rows, py::ssize_t i) {
    return {rows.array.data() + i * rows.width, static_cast<std::size_t>(rows.width)};
}

template <typename T>
T Value(Expected<T> expected) {
    if (!expected) {
        throw py::value_error(expected.error);
    }
    return *std::move(expected.value);
}

class PyCode {
  public:
    PyCode(std::int32_t m, std::int32_t t, std::optional<std::int32_t> length)
        : code{m, t, length}, codec(Value(Codec::Make(code))) {}

    py::array_t<std::uint32_t> Encode(const py::array& information) {
        const Rows rows = RowsOf(information, "encode");
        py::array_t<std::uint32_t> words(rows.batch
                                             ? std::vector<py::ssize_t>{rows.count, codec.N()}
                                             : std::vector<py::ssize_t>{codec.N()});
        for (py::ssize_t i = 0; i < rows.count; ++i) {
            const std::vector<std::uint32_t> word = Value(codec.Encode(Row(rows, i)));
            std::copy(word.begin(), word.end(), words.mutable_data() + i * codec.N());
        }
        return words;
    }

    py::tuple Decode(const py::array& received, const py::object& erasures) {
        const Rows rows = RowsOf(received, "decode");
        // One list of erasures for every word, or one list per word of a batch.
        std::vector<std::vector<std::int32_t>> erased(static_cast<std::size_t>(rows.count));
        if (!erasures.is_none()) {
            const auto positions = Positions(erasures);
            if (positions.ndim() > 2 ||
                (positions.ndim() == 2 && (!rows.batch || positions.shape(0) != rows.count))) {
                throw py::value_error(
                    "decode: erasures are one list of positions, or one per word of the batch");
            }
            const py::ssize_t width =
                positions.ndim() == 0 ? 1 : positions.shape(positions.ndim() - 1);
            for (py::ssize_t i = 0; i < rows.count; ++i) {
                const std::int32_t* first =
                    positions.data() + (positions.ndim() == 2 ? i * width : 0);
                erased[static_cast<std::size_t>(i)].assign(first, first + width);
            }
        }
        py::array_t<std::uint32_t> words(rows.batch
                                             ? std::vector<py::ssize_t>{rows.count, codec.N()}
                                             : std::vector<py::ssize_t>{codec.N()});
        py::array_t<std::int32_t> corrections(rows.count);
        py::array_t<bool> failed(rows.count);
        for (py::ssize_t i = 0; i < rows.count; ++i) {
            const Decoded decoded =
                Value(codec.Decode(Row(rows, i), erased[static_cast<std::size_t>(i)]));
            std::copy(decoded.word.begin(), decoded.word.end(),
                      words.mutable_data() + i * codec.N());
            corrections.mutable_data()[i] = decoded.corrections;
            failed.mutable_data()[i] = decoded.failed;
        }
        if (!rows.batch) {
            return py::make_tuple(words, corrections.at(0), failed.at(0));
        }
        return py::make_tuple(words, corrections, failed);
    }

    Code code;
    Codec codec;
};

}  // namespace

void BindCodec(py::module_& module) {
    py::class_<PyCode>(module, "Code",
                       R"(The codec of RS(n, n - 2t) over GF(2^m), for real data.

Symbols are integers 0 .. 2^m - 1, elements of GF(2^m) in the polynomial basis of the field's
primitive polynomial (x^8 + x^4 + x^3 + x^2 + 1 for m = 8), alpha = 2, and the generator
(x + alpha)(x + alpha^2)...(x + alpha^2t). A codeword's symbol i is the coefficient of x^i:
the 2t parity symbols first, then the information in order. length shortens the code.)")
        .def(py::init<std::int32_t, std::int32_t, std::optional<std::int32_t>>(), py::arg("m"),
             py::arg("t"), py::arg("length") = py::none())
        .def_property_readonly(
            "n", [](const PyCode& c) { return c.codec.N(); }, "symbols sent per codeword")
        .def_property_readonly(
            "k", [](const PyCode& c) { return c.codec.K(); }, "information symbols per codeword")
        .def_property_readonly("m", [](const PyCode& c) { return c.code.m; })
        .def_property_readonly("t", [](const PyCode& c) { return c.code.t; })
        .def("encode", &PyCode::Encode, py::arg("info"),
             "The systematic codeword(s) of k information symbols: a word of n symbols for a 1-D "
             "array of k, an array of words for a 2-D batch.")
        .def("decode", &PyCode::Decode, py::arg("received"), py::arg("erasures") = py::none(),
             R"(Corrects up to t errors of a word of n symbols (or each row of a 2-D batch).

erasures: positions known unreliable (increasing, below n, at most 2t), for every word, or a
2-D array with one row per word; e errors and s erasures are corrected when 2e + s <= 2t.
Returns (word, corrections, failed): the corrected word(s), the symbols changed, and whether
the decoder found the word uncorrectable (the word is then as received). A miscorrection is
not flagged.)");
}

}  // namespace rs_sim::python
