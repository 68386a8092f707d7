#pragma once

#include <string>
#include <vector>

namespace lidora::testing {

// Every hostile string carries this, so that any trace of one in a command
// line, a path or a file name is found by a plain search.
inline constexpr const char* kHostileMark = "zqxHOSTILEmark";

struct HostileString {
    std::string text;   // as a string argument, when it can be one
    std::string bytes;  // as a byte array: the same, or with what no string may hold
    bool validText = true;
};

// Shell metacharacters, paths that climb or start at the root, option
// lookalikes, NUL, invalid UTF-8 and a huge one.
inline std::vector<HostileString> hostileStrings() {
    const std::string mark = kHostileMark;
    std::vector<HostileString> list;
    for (const auto& text :
         {"; touch /tmp/" + mark, "$(touch /tmp/" + mark + ")", "`touch /tmp/" + mark + "`", "| tee /tmp/" + mark,
          "&& " + mark + " &", "../../../../tmp/" + mark, "/var/root/Library/Preferences/" + mark, "-int 0 " + mark,
          "--" + mark, "com.apple.CoreBrightness " + mark, "'\"\\" + mark + "\n\r\t*?[]{}~#<>", "%s%n%x" + mark,
          std::string(1 << 20, 'A') + mark}) {
        list.push_back({text, text, true});
    }
    list.push_back({"", mark + std::string(1, '\0') + "; touch /tmp/" + mark, false});
    list.push_back({"", "\xff\xfe\xc0\xaf" + mark + "\xed\xa0\x80", false});
    list.push_back({"", std::string(1, '\0'), false});
    return list;
}

}  // namespace lidora::testing
