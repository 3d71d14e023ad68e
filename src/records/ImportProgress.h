#pragma once

namespace k27 {

// How a long record operation (import, deletion) shows its progress: the page implements it
// with its progress panel (bar and "done/total" counter) and lets pending window events run
// in pump().
class ImportProgress
{
public:
    virtual ~ImportProgress() = default;
    // The run starts: bar maximum `total`, value 0, counter "0/total".
    virtual void setMaximum(int total) = 0;
    // `done` items so far: bar value and counter "done/total". An import of a file without a
    // final line break ends one above the total: keep the bar within its range.
    virtual void setValue(int done) = 0;
    // Let pending window events run.
    virtual void pump() = 0;
};

} // namespace k27
