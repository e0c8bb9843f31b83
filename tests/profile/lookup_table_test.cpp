// Large sections and profiles answer from look-up tables that compare texts a word at a time; a key or
// name of any length must find itself and never a text that differs from it in one byte.

#include "kel_test.h"

#include <kel/profile.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace Kel;

namespace {

// Texts of every length from 0 to 40, and for each the same with one byte changed at the start, the
// middle and the end, so that the words of a comparison see every position differ.
std::vector<std::string> neighbouringTexts() {
    std::vector<std::string> texts;
    for (std::size_t length = 0; length <= 40; ++length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            text += static_cast<char>('a' + (i * 7 + length) % 26);
        }
        texts.push_back(text);
        for (std::size_t at : {std::size_t{0}, length / 2, length - 1}) {
            if (length == 0) {
                break;
            }
            std::string other = text;
            other[at] = '#';
            if (std::find(texts.begin(), texts.end(), other) == texts.end()) {
                texts.push_back(other);
            }
        }
    }
    return texts;
}

} // namespace

TEST(ProfileLookupTable, EveryKeyFindsItsOwnValue) {
    Profile profile(nullptr, nullptr);
    const std::vector<std::string> texts = neighbouringTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // Keys carry a prefix so that none is empty; section names run from the empty one up.
        profile.writeProfileString("big", ("k" + texts[i]).c_str(), std::to_string(i).c_str());
        profile.writeProfileString(texts[i].c_str(), "index", std::to_string(i).c_str());
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_STREQ(profile.getProfileString("big", ("k" + texts[i]).c_str(), nullptr),
                     std::to_string(i).c_str())
            << texts[i];
        EXPECT_STREQ(profile.getProfileString(texts[i].c_str(), "index", nullptr), std::to_string(i).c_str())
            << texts[i];
    }
    // Texts that were never written, one byte longer or shorter than written ones, find nothing.
    EXPECT_EQ(profile.getProfileString("big", "kabcdefghijklmnopqrstuvwxyz0123456789", nullptr), nullptr);
    EXPECT_EQ(profile.getProfileString("zz", "index", nullptr), nullptr);
    EXPECT_EQ(profile.getProfileString("big", "k##", nullptr), nullptr);
}
