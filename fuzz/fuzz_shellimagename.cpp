// ShellImageFileName: the name part of an icon location. Input: one byte
// (255: a null location; n from 1 to 254: the name also into a buffer of
// n - 1 bytes), then the location up to a NUL.
#include <algorithm>
#include <string>

#include "fuzzcheck.h"
#include "iconassign/iconname.h"

namespace {

// The working copy: at most 259 characters, one trailing backslash gone.
std::string WorkingText(const char *location)
{
    std::string text(location, std::min<size_t>(std::strlen(location), 259));
    if (!text.empty() && text.back() == '\\')
        text.pop_back();
    return text;
}

// name is a suffix of the working text. Either it is the whole text, and no
// backslash stands after the first character, or a backslash at position 1
// or later precedes it and it holds none.
void CheckNamePart(const std::string &working, const std::string &name)
{
    FUZZ_CHECK(name.size() <= working.size());
    size_t start = working.size() - name.size();
    FUZZ_CHECK(working.compare(start, std::string::npos, name) == 0);
    if (start == 0) {
        FUZZ_CHECK(working.find('\\', 1) == std::string::npos);
        return;
    }
    FUZZ_CHECK(start >= 2 && working[start - 1] == '\\');
    FUZZ_CHECK(name.find('\\') == std::string::npos);
}

// The name with the program's buffer, checked against the working text.
std::string FullName(const char *location)
{
    Block name(ShellImageNameSize, '#');
    ShellImageFileName(location, name.data(), ShellImageNameSize);
    FUZZ_CHECK(std::memchr(name.data(), '\0', ShellImageNameSize) != nullptr);
    std::string result = name.data();
    CheckNamePart(location ? WorkingText(location) : std::string(), result);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    uint8_t choice = input.TakeByte();
    bool nullLocation = choice == 255;
    Block location = input.TakeText();
    const char *text = nullLocation ? nullptr : location.data();
    std::string full = FullName(text);
    if (choice == 0 || nullLocation)
        return 0;

    // A smaller buffer gets the same name when it fits, else an empty text.
    unsigned nameSize = choice - 1u;
    Block name(nameSize, '#');
    ShellImageFileName(text, name.data(), nameSize);
    if (nameSize == 0)
        return 0;
    FUZZ_CHECK(std::memchr(name.data(), '\0', nameSize) != nullptr);
    FUZZ_CHECK(name.data() == (full.size() < nameSize ? full : std::string()));
    return 0;
}
