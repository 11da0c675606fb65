// SkipProgramName on any command line. Input: the command line, optionally
// followed by a NUL and bytes that lie beyond it in memory.
#include "fuzzcheck.h"
#include "shell/commandline.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What was skipped is a program name and the blanks after it: unquoted, a
// run without blanks or quote in front; quoted, a quote, anything but a
// quote, and the closing quote unless the line ended first.
void CheckSkipped(const char *line, size_t skipped, size_t length)
{
    size_t nameEnd = skipped;
    while (nameEnd > 0 && IsBlank(line[nameEnd - 1]))
        nameEnd--;
    if (line[0] != '"') {
        for (size_t i = 0; i < nameEnd; i++)
            FUZZ_CHECK(!IsBlank(line[i]));
        // An unquoted name ends at the first blank, or with the line.
        FUZZ_CHECK(nameEnd == length || IsBlank(line[nameEnd]));
        return;
    }
    FUZZ_CHECK(nameEnd >= 1);
    const char *closing = (const char *)std::memchr(line + 1, '"', length - 1);
    if (closing == nullptr)
        FUZZ_CHECK(skipped == length);
    else
        FUZZ_CHECK(nameEnd == (size_t)(closing - line) + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Block line = TextBlock(data, size);
    size_t length = line.size() - 1;
    const char *arguments = SkipProgramName(line.data());

    FUZZ_CHECK(arguments >= line.data() && arguments <= line.data() + length);
    size_t skipped = (size_t)(arguments - line.data());
    FUZZ_CHECK(!IsBlank(*arguments));
    if (length > 0)
        CheckSkipped(line.data(), skipped, length);
    else
        FUZZ_CHECK(skipped == 0);

    // The same line with the input's remaining bytes after its NUL.
    if (length < size) {
        Block padded(data, size);
        FUZZ_CHECK(SkipProgramName(padded.data()) - padded.data() == (ptrdiff_t)skipped);
    }
    const char *none = SkipProgramName(nullptr);
    FUZZ_CHECK(none != nullptr && *none == '\0');
    return 0;
}
