// A parser's place among the words of one line of a stimulus or test file,
// with the line's first error; both line parsers read their words through it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sim/Stimulus.h"

namespace korvid {

class StimulusCursor {
protected:
    explicit StimulusCursor(const std::vector<StimulusToken>& tokens) : t_(tokens) {}

    bool Fail(const StimulusToken& at, const std::string& message) {
        error_ = {line_, at.column, message};
        return false;
    }
    // The end of the line, for "missing ..." messages.
    StimulusToken End() const {
        StimulusToken e;
        e.column = t_.back().column + static_cast<int>(t_.back().text.size()) + (t_.back().string ? 2 : 0);
        return e;
    }
    const StimulusToken* Next() { return pos_ < t_.size() ? &t_[pos_++] : nullptr; }
    const StimulusToken* Peek() const { return pos_ < t_.size() ? &t_[pos_] : nullptr; }
    // The end of a statement: words left over are an error; `error` gets
    // the line's error when there is one.
    bool Finish(bool ok, StimulusError& error) {
        if (ok && pos_ < t_.size()) ok = Fail(t_[pos_], "unexpected '" + t_[pos_].text + "' after the statement");
        error = error_;
        return ok;
    }

    const std::vector<StimulusToken>& t_;
    std::size_t pos_ = 0;
    int line_ = 0;  // 0 where the caller fills the line in
    StimulusError error_{};
};

}  // namespace korvid
