// The name rules of the folder walk and the file listing.
#include <gtest/gtest.h>

#include "filelist/folder_walk.h"
#include "filelist/qt_text.h"
#include "support/case_name.h"
#include "test_support.h"

using namespace quarrytab;

namespace {

struct UnsafeCase {
    const char* name;
    const char16_t* fileName;
    bool unsafe;
};

class UnsafeNames : public testing::TestWithParam<UnsafeCase> {};

TEST_P(UnsafeNames, JudgesEveryCharacter) {
    const QString name = QString::fromUtf16(GetParam().fileName);
    EXPECT_EQ(HasUnsafeCharacters(name), GetParam().unsafe) << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnsafeNames,
    testing::Values(UnsafeCase{"Empty", u"", false}, UnsafeCase{"Letters", u"data", false},
                    UnsafeCase{"Punctuation", u"with space ~ & ; '", false},
                    UnsafeCase{"QuestionMark", u"what?", true},
                    UnsafeCase{"QuestionMarkOnly", u"?", true},
                    UnsafeCase{"Tab", u"tab\there", true}, UnsafeCase{"Control31", u"\x1f", true},
                    UnsafeCase{"Space32", u" ", false},  // the first safe code
                    UnsafeCase{"Tilde126", u"~", false}, UnsafeCase{"Delete127", u"del\x7f", true},
                    UnsafeCase{"C1Control133", u"c1\x0085", true},  // inside 127..159
                    UnsafeCase{"C1Control159", u"c1\x009f", true},
                    UnsafeCase{"NoBreakSpace160", u"nbsp\x00a0", false},
                    UnsafeCase{"Umlaut", u"Müller", false}, UnsafeCase{"Kanji", u"日本語", false},
                    UnsafeCase{"Emoji", u"emoji\U0001F600", false},
                    UnsafeCase{"FullwidthQuestionMark", u"fullwidth\xff1f",
                               false}),  // a "?" look-alike is fine
    CaseName());

struct PathBytesCase {
    const char* name;
    std::string_view bytes;
    const char16_t* shown;  // as a person sees it
};

class PathBytes : public testing::TestWithParam<PathBytesCase> {};

// A file name is any bytes: whatever a name holds comes back unchanged from the text the window
// keeps, and only what is shown is decoded.
TEST_P(PathBytes, ComeBackUnchanged) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows names are UTF-16";
#endif
    const std::string bytes(GetParam().bytes);
    const QString kept = FromPathBytes(bytes);
    EXPECT_EQ(ToPathBytes(kept), bytes);
    EXPECT_EQ(ShownText(kept), QString::fromUtf16(GetParam().shown));
    EXPECT_EQ(ToFileSystemPath(kept).native(), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathBytes,
    testing::Values(PathBytesCase{"Ascii", "/d/a.csv", u"/d/a.csv"},
                    PathBytesCase{"Utf8", "/d/caf\xC3\xA9.csv", u"/d/caf\u00e9.csv"},
                    PathBytesCase{"Latin1", "/d/caf\xE9.csv", u"/d/caf\uFFFD.csv"},
                    PathBytesCase{"Latin1AtTheEnd", "caf\xE9", u"caf\uFFFD"},
                    PathBytesCase{"Overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
                    PathBytesCase{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                    PathBytesCase{"Truncated", "a\xE2\x82", u"a\uFFFD\uFFFD"},
                    PathBytesCase{"AboveUnicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                    PathBytesCase{"FourBytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
                    PathBytesCase{"LookAlikeOfAnEscape", "\xED\xB3\xA9", u"\uFFFD\uFFFD\uFFFD"},
                    PathBytesCase{"Mixed", "\xE9\xC3\xA9\xFF/", u"\uFFFD\u00e9\uFFFD/"}),
    CaseName());

struct WildcardCase {
    const char* name;
    const char* pattern;
    const char16_t* fileName;
    bool matches;
};

class Wildcards : public testing::TestWithParam<WildcardCase> {};

TEST_P(Wildcards, FollowWindowsSearchRules) {
    const QString pattern = QString::fromUtf8(GetParam().pattern);
    const QString name = QString::fromUtf16(GetParam().fileName);
    EXPECT_EQ(MatchesWildcard(pattern, name), GetParam().matches)
        << pattern.toStdString() << " vs " << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, Wildcards,
    testing::Values(
        // "*.*" is every name, with or without a dot.
        WildcardCase{"StarDotStarWithDot", "*.*", u"a.csv", true},
        WildcardCase{"StarDotStarWithoutDot", "*.*", u"README", true},
        WildcardCase{"StarDotStarLeadingDot", "*.*", u".hidden", true},
        WildcardCase{"StarAnything", "*", u"anything.at.all", true},
        // Extensions, regardless of case, and only the whole extension.
        WildcardCase{"Extension", "*.csv", u"a.csv", true},
        WildcardCase{"ExtensionOtherCase", "*.csv", u"A.CSV", true},
        WildcardCase{"ExtensionPatternUpperCase", "*.CSV", u"b.Csv", true},
        WildcardCase{"OtherExtension", "*.csv", u"a.txt", false},
        WildcardCase{"LongerExtension", "*.csv", u"a.csvx", false},
        WildcardCase{"ExtensionAsWholeName", "*.csv", u"csv", false},
        WildcardCase{"ExtensionAfterTwoDots", "*.csv", u"a.b.csv", true},
        WildcardCase{"ExtensionOnly", "*.csv", u".csv", true},
        WildcardCase{"OtherExtensionTxt", "*.txt", u"a.csv", false},
        // "?" is exactly one character, a character outside the basic plane included.
        WildcardCase{"QuestionOne", "?.csv", u"a.csv", true},
        WildcardCase{"QuestionTwo", "?.csv", u"ab.csv", false},
        WildcardCase{"QuestionNone", "?.csv", u".csv", false},
        WildcardCase{"QuestionOutsideBasicPlane", "?.csv", u"\U0001F600.csv", true},
        WildcardCase{"TwoQuestionsOneCharacter", "??.csv", u"\U0001F600.csv", false},
        // Stars in the middle need backtracking.
        WildcardCase{"StarsBacktrack", "a*b*c", u"aXbYbZc", true},
        WildcardCase{"StarsBacktrackNoEnd", "a*b*c", u"aXbYbZ", false},
        WildcardCase{"StarsBacktrackLong", "*a*a*a*b", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        // Letters beyond ASCII fold too.
        WildcardCase{"NonAsciiFolds", "müller.*", u"MÜLLER.csv", true},
        // A trailing ".*" may also match nothing; a trailing "." matches names without a dot.
        WildcardCase{"TrailingDotStarNoExtension", "data.*", u"data", true},
        WildcardCase{"TrailingDotStarExtension", "data.*", u"data.csv", true},
        WildcardCase{"TrailingDotStarLonger", "data.*", u"database", false},
        WildcardCase{"TrailingDotNoDot", "*.", u"README", true},
        WildcardCase{"TrailingDotWithDot", "*.", u"a.csv", false},
        // No pattern, no match.
        WildcardCase{"EmptyPattern", "", u"a.csv", false}),
    CaseName());

}  // namespace
