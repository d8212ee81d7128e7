// --auto: each rule of the sniffer on a small made-up file, and random tables written every way
// the sniffer knows, read back exactly by --auto alone (or the sniffer says what it was unsure of).
#include "engine/sniffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/case_name.h"
#include "support/convert_bytes.h"

using namespace quarrytab;
using namespace std::string_literals;

namespace {

struct SniffCase {
    const char* name;
    std::string sample;
    std::string delimiter;
    bool quoted = false;
    bool header = false;
    std::uint64_t skip = 0;
    std::string comment = {};
    std::string encoding = {};
    bool unsure = false;  // the sniffer says what it could not tell
    // Options the user gave: set on top of --auto, and named as kept.
    void (*given)(ConversionOptions&) = nullptr;
    bool complete = true;  // the sample is the whole file
};

class Sniff : public testing::TestWithParam<SniffCase> {};

TEST_P(Sniff, DecidesEachRuleAndSaysWhy) {
    const auto& row = GetParam();
    ConversionOptions given;
    given.AutoRules = true;
    if (row.given != nullptr) {
        row.given(given);
    }
    const auto found = SniffSample(row.sample, row.complete, given);
    const auto& rules = found.rules;
    const auto why = found.summary();
    EXPECT_EQ(rules.CsvDelimiter, row.delimiter) << why;
    EXPECT_EQ(rules.QuotedFields, row.quoted) << why;
    EXPECT_EQ(rules.HeaderRow, row.header) << why;
    EXPECT_EQ(rules.SkipLines, row.skip) << why;
    EXPECT_EQ(rules.CommentPrefix, row.comment) << why;
    EXPECT_EQ(rules.Encoding, row.encoding) << why;
    EXPECT_EQ(!found.doubts.empty(), row.unsure) << why;
    EXPECT_EQ(rules.Ragged, given.Kept.ragged ? given.Ragged : RaggedMode::Pad);
    if (rules.CsvDelimiter.empty()) {
        EXPECT_LE(found.widest, 1U) << why;  // read as one column, the table is one wide
    }
    EXPECT_FALSE(rules.AutoRules);
    EXPECT_FALSE(why.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Sniff,
    testing::Values(
        // The delimiter: the usual four, any other byte that cuts every line alike, or none.
        SniffCase{.name = "comma", .sample = "1,2,3\n4,5,6\n7,8,9\n", .delimiter = ","},
        SniffCase{.name = "semicolon_over_decimal_commas",
                  .sample = "1,5;2,25;3\n4,5;5,75;6\n7,5;8,25;9\n",
                  .delimiter = ";"},
        SniffCase{.name = "tab", .sample = "1\t2 3\t4\n5\t6 7\t8\n", .delimiter = "\t"},
        SniffCase{.name = "pipe", .sample = "1|a, b|2\n3|c; d|4\n", .delimiter = "|"},
        SniffCase{.name = "other_byte", .sample = "1^2^3\n4^5^6\n7^8^9\n", .delimiter = "^"},
        SniffCase{
            .name = "space_when_nothing_else", .sample = "1 2 3\n4 5 6\n7 8 9\n", .delimiter = " "},
        SniffCase{.name = "one_column", .sample = "10\n20\n30\n", .delimiter = ""},
        SniffCase{.name = "one_column_yet_delimiters_seen",
                  .sample = "a,b\nc\nd;e;f\ng|h|i|j\n",
                  .delimiter = "",
                  .unsure = true},
        SniffCase{.name = "scattered_widths",
                  .sample = "1,2\n1,2,3\n1,2,3,4\n1,2,3,4,5\n1,2\n1,2,3\n1,2,3,4\n1,2,3,4,5\n",
                  .delimiter = ",",
                  .unsure = true},
        // Quoting: RFC 4180 when quotes open fields and close again.
        SniffCase{.name = "quoted_delimiter",
                  .sample = "\"a,b\",1\n\"c\",2\n\"d\"\"e\",3\n",
                  .delimiter = ",",
                  .quoted = true},
        SniffCase{.name = "quoted_line_break",
                  .sample = "1,\"two\nlines\",3\n4,\"two\nlines\",6\n",
                  .delimiter = ",",
                  .quoted = true},
        SniffCase{.name = "quoted_line_breaks_holding_tabs",
                  .sample = "id,text\n1,\"a\tb\nc\td\"\n2,\"e\tf\ng\th\"\n3,\"i\tj\nk\tl\"\n",
                  .delimiter = ",",
                  .quoted = true,
                  .header = true},
        SniffCase{.name = "one_quoted_column_holding_commas",
                  .sample = "name\n\"Smith, John\"\n\"Doe, Jane\"\n",
                  .delimiter = "",
                  .quoted = true,
                  .header = true},
        SniffCase{.name = "one_quoted_column",
                  .sample = "\"977.17\"\n\"12.5\"\n\"3\"\n",
                  .delimiter = "",
                  .quoted = true},
        SniffCase{.name = "quote_inside_a_value",
                  .sample = "5\" screen,1\n7\" screen,2\n",
                  .delimiter = ","},
        SniffCase{.name = "quote_never_closed",
                  .sample = "1,\"a\n2,bb\n3,cc\n",
                  .delimiter = ",",
                  .unsure = true},
        // Lines before the table: a title, an empty line, metadata, a sparse spreadsheet title.
        SniffCase{.name = "title_and_empty_line",
                  .sample = "Sales report\n\nid,amount\n1,2.5\n3,4.5\n",
                  .delimiter = ",",
                  .header = true,
                  .skip = 2},
        SniffCase{.name = "metadata_line",
                  .sample = "3,2\n1.5,2,3,4,5\n2.5,3,4,5,6\n3.5,4,5,6,7\n",
                  .delimiter = ",",
                  .skip = 1},
        SniffCase{.name = "a_short_first_record_is_data",
                  .sample = "1,2\n3,4,5\n6,7,8\n9,10,11\n",
                  .delimiter = ","},
        SniffCase{.name = "sparse_title",
                  .sample = "Prices,,,\nitem,a,b,c\nx,1,2,3\ny,4,5,6\n",
                  .delimiter = ",",
                  .header = true,
                  .skip = 1},
        SniffCase{.name = "short_rows_of_an_optional_column_stay",
                  .sample = "1\t2\n3\t4\t5\n6\t7\t8\n9\t10\n11\t12\t13\n",
                  .delimiter = "\t"},
        // Comment prefixes.
        SniffCase{.name = "hash_comments",
                  .sample = "# made by hand\n# two lines\nid;n\nx;1\ny;2\n",
                  .delimiter = ";",
                  .header = true,
                  .skip = 2},
        SniffCase{
            .name = "slash_comments", .sample = "// note\n1|2\n3|4\n", .delimiter = "|", .skip = 1},
        SniffCase{.name = "dash_comments_after_an_empty_line",
                  .sample = "\n-- note\n1,2\n3,4\n",
                  .delimiter = ",",
                  .skip = 2},
        SniffCase{.name = "comments_in_the_table_too",
                  .sample = "# made by hand\nid;n\nx;1\n# checked\ny;2\nz;3\n",
                  .delimiter = ";",
                  .header = true,
                  .skip = 1,
                  .comment = "#"},
        SniffCase{.name = "a_data_line_starting_like_the_comments_above_stays",
                  .sample = "# exported 2024\nid,n\n1,10\n#2,20\n3,30\n",
                  .delimiter = ",",
                  .header = true,
                  .skip = 1},
        SniffCase{.name = "an_empty_line_between_the_comments_above",
                  .sample = "# one\n\n# two\nid;n\nx;1\ny;2\n",
                  .delimiter = ";",
                  .header = true,
                  .skip = 3},
        SniffCase{.name = "a_header_starting_with_hash_under_metadata_lines",
                  .sample = "##fileformat=VCFv4.2\n##source=x\n#CHROM\tPOS\tID\tREF\n"
                            "20\t14370\trs6054257\tG\n20\t17330\t.\tT\n20\t1110696\trs6040355\tA\n",
                  .delimiter = "\t",
                  .header = true,
                  .skip = 2},
        SniffCase{.name = "a_header_starting_with_hash",
                  .sample = "#SampleID\tBarcodeSequence\tTreatment\tDOB\n"
                            "PC.354\tAGCACGAGCCTA\tControl\t20061218\n"
                            "PC.355\tAACTCGTCGATG\tControl\t20061218\n"
                            "PC.356\tACAGACCACTCA\tControl\t20061126\n",
                  .delimiter = "\t",
                  .header = true},
        // The header row.
        SniffCase{.name = "numbers_below_words",
                  .sample = "name,age\nann,30\nbob,41\n",
                  .delimiter = ",",
                  .header = true},
        SniffCase{.name = "dates_below_words",
                  .sample = "day,name\n2024-01-02,ann\n2024-01-03,bob\n",
                  .delimiter = ",",
                  .header = true},
        SniffCase{.name = "codes_of_one_length_below_a_longer_name",
                  .sample = "code,name\nAD,Andorra\nAE,Emirates\nAF,Afghanistan\n",
                  .delimiter = ",",
                  .header = true},
        SniffCase{.name = "a_name_as_long_as_the_codes_below",
                  .sample = "iso,n\nNOR,1\nSWE,2\nDNK,3\n",
                  .delimiter = ",",
                  .header = true},
        SniffCase{.name = "empty_name_of_row_names",
                  .sample = "\"\",\"x\",\"y\"\n\"1\",2,3\n\"2\",4,5\n",
                  .delimiter = ",",
                  .quoted = true,
                  .header = true},
        SniffCase{
            .name = "first_record_like_the_rest", .sample = "1,2\n3,4\n5,6\n", .delimiter = ","},
        SniffCase{
            .name = "an_empty_value_is_data", .sample = "a,,c\n1,2,3\n4,5,6\n", .delimiter = ","},
        SniffCase{
            .name = "a_repeated_value_is_data", .sample = "a,a\n1,2\n3,4\n", .delimiter = ","},
        SniffCase{.name = "words_over_words_unsure",
                  .sample = "ann,oslo\nbobby,rome\ncid,lima2x\n",
                  .delimiter = ",",
                  .unsure = true},
        // Encodings.
        SniffCase{.name = "utf8_bom",
                  .sample = "\xEF\xBB\xBFname,n\nx,1\n",
                  .delimiter = ",",
                  .header = true},
        SniffCase{.name = "utf16le_bom",
                  .sample = "\xFF\xFEn\0m\0,\0v\0\n\0x\0,\0"
                            "1\0\n\0"s,
                  .delimiter = ",",
                  .header = true,
                  .encoding = "utf-16le"},
        SniffCase{.name = "utf16be_bom",
                  .sample = "\xFE\xFF\0n\0m\0,\0v\0\n\0x\0,\0"
                            "1\0\n"s,
                  .delimiter = ",",
                  .header = true,
                  .encoding = "utf-16be"},
        SniffCase{.name = "windows_1252",
                  .sample = "who;n\nJos\xE9;1\nRen\xE9;2\n",
                  .delimiter = ";",
                  .header = true,
                  .encoding = "windows-1252"},
        SniffCase{.name = "nul_bytes_without_a_mark",
                  .sample = "a\0,\0b\0\n\0"
                            "1\0,\0"
                            "2\0\n\0"s,
                  .delimiter = ",",
                  .unsure = true},
        SniffCase{.name = "utf8_stays",
                  .sample = "who;n\nJos\xC3\xA9;1\n",
                  .delimiter = ";",
                  .header = true},
        SniffCase{.name = "utf8_cut_by_the_sample_end",
                  .sample = "who;n\nJos\xC3\xA9;1\nRen\xC3",
                  .delimiter = ";",
                  .header = true,
                  .complete = false},
        SniffCase{.name = "first_line_longer_than_the_sample",
                  .sample = std::string(100, 'x'),
                  .delimiter = ",",
                  .unsure = true,
                  .complete = false},
        // What the user gave stays, and the rest is decided around it.
        SniffCase{.name = "given_delimiter",
                  .sample = "a;b,c\n1;2,3\n",
                  .delimiter = ";",
                  .header = true,  // a decimal comma under a word
                  .given =
                      [](ConversionOptions& o) {
                          o.CsvDelimiter = ";";
                          o.Kept.delimiter = true;
                      }},
        SniffCase{.name = "given_no_header",
                  .sample = "name,age\nann,30\n",
                  .delimiter = ",",
                  .given =
                      [](ConversionOptions& o) {
                          o.Kept.header = true;
                      }},
        SniffCase{.name = "given_no_quotes",
                  .sample = "\"a,b\",1\n\"c,d\",2\n",
                  .delimiter = ",",
                  .given =
                      [](ConversionOptions& o) {
                          o.Kept.quoting = true;
                      }},
        SniffCase{.name = "given_skip_lines",
                  .sample = "x\ny\nname,age\nann,30\n",
                  .delimiter = ",",
                  .header = true,
                  .skip = 2,
                  .given =
                      [](ConversionOptions& o) {
                          o.SkipLines = 2;
                          o.Kept.skipLines = true;
                      }},
        SniffCase{.name = "given_comment_and_ragged",
                  .sample = "; note\n1,2\n3,4\n",
                  .delimiter = ",",
                  .skip = 1,
                  .comment = ";",
                  .given =
                      [](ConversionOptions& o) {
                          o.CommentPrefix = ";";
                          o.Kept.comment = true;
                          o.Ragged = RaggedMode::Skip;
                          o.Kept.ragged = true;
                      }},
        SniffCase{.name = "given_encoding",
                  .sample = "who;n\nJos\xC3\xA9;1\n",
                  .delimiter = ";",
                  .header = true,
                  .encoding = "latin1",
                  .given =
                      [](ConversionOptions& o) {
                          o.Encoding = "latin1";
                          o.Kept.encoding = true;
                      }}),
    CaseName());

// A table written one random way: delimiter, quoting, header, lines above it, comments and
// encoding. `values` are the records as UTF-8.
struct Written {
    std::string bytes;
    std::vector<std::vector<std::string>> values;
};

std::string Encoded(const std::string& utf8, int encoding) {
    if (encoding == 1) {
        return "\xEF\xBB\xBF" + utf8;
    }
    std::string out;
    if (encoding == 2) {  // Windows-1252: the only non-ASCII letter written is U+00E9
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            if (utf8.compare(i, 2, "\xC3\xA9") == 0) {
                out += '\xE9';
                ++i;
            } else {
                out += utf8[i];
            }
        }
        return out;
    }
    if (encoding == 3) {  // UTF-16LE with its mark
        out = "\xFF\xFE";
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            char32_t c = static_cast<unsigned char>(utf8[i]);
            if (utf8.compare(i, 2, "\xC3\xA9") == 0) {
                c = 0xE9;
                ++i;
            }
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(c >> 8);
        }
        return out;
    }
    return utf8;
}

Written RandomTable(std::mt19937& random) {
    const auto pick = [&](std::size_t n) {
        return static_cast<std::size_t>(random() % n);
    };
    const std::string delimiter = std::vector<std::string>{",", ";", "\t", "|"}[pick(4)];
    const bool quoteAll = pick(4) == 0;
    const bool header = pick(2) == 0;
    const std::size_t columns = 2 + pick(5);
    const std::size_t rows = 3 + pick(30);
    const int encoding = static_cast<int>(pick(4));
    // Each column holds one kind of value: whole numbers, decimals, dates or words.
    std::vector<std::size_t> kinds(columns);
    for (auto& kind : kinds) {
        kind = pick(4);
    }
    kinds[pick(columns)] = pick(3);  // at least one column not of words
    // Commas inside the text of a file cut by another delimiter, as many in each value but
    // one more in every eighth record: ',' would cut the records into more fields, nearly all
    // alike, yet fewer alike than the delimiter.
    const std::size_t commas = delimiter != "," && pick(3) == 0 ? 1 + pick(3) : 0;
    const std::string letters = "abcdefghij\xC3\xA9";
    const std::string awkward = delimiter + "\"\n ,;|\t" + "xyz";
    const auto word = [&] {
        std::string w(1, static_cast<char>('a' + pick(26)));
        for (std::size_t n = pick(8); n > 0; --n) {
            w += pick(6) == 0 ? awkward.substr(pick(awkward.size()), 1)
                              : letters.substr(pick(11), 1);
            if (w.back() == '\xC3') {
                w += '\xA9';
            }
        }
        return w;
    };
    const auto phrase = [&](std::size_t parts) {
        std::string text(1 + pick(5), static_cast<char>('a' + pick(26)));
        for (; parts > 0; --parts) {
            text += ", " + std::string(1 + pick(5), static_cast<char>('a' + pick(26)));
        }
        return text;
    };
    const auto value = [&](std::size_t kind, std::size_t row) {
        switch (kind) {
            case 0:
                return std::to_string(static_cast<int>(pick(100000)) - 500);
            case 1:
                return std::to_string(pick(1000)) + "." + std::to_string(pick(100));
            case 2:
                return "20" + std::to_string(10 + pick(20)) + "-0" + std::to_string(1 + pick(9)) +
                       "-1" + std::to_string(pick(10));
            default:
                return commas > 0 ? phrase(commas + (row % 8 == 0 ? 1 : 0)) : word();
        }
    };
    const auto line = [&](const std::vector<std::string>& fields) {
        std::string text;
        for (std::size_t k = 0; k < fields.size(); ++k) {
            const auto& f = fields[k];
            const bool needs =
                f.find_first_of(delimiter + "\"\r\n") != std::string::npos || f.starts_with(' ');
            text += k > 0 ? delimiter : "";
            if (quoteAll || needs) {
                std::string quoted = "\"";
                for (const char c : f) {
                    quoted += c == '"' ? "\"\"" : std::string(1, c);
                }
                text += quoted + "\"";
            } else {
                text += f;
            }
        }
        return text + (pick(3) == 0 ? "\r\n" : "\n");
    };
    Written written;
    std::string text;
    for (std::size_t n = pick(3); n > 0; --n) {
        text += "# comment " + std::to_string(n) + "\n";
    }
    if (pick(3) == 0) {
        text += "Report of the year\n\n";
    }
    if (header) {
        std::vector<std::string> names;
        for (std::size_t k = 0; k < columns; ++k) {
            names.push_back("col" + std::string(1, static_cast<char>('a' + k)) + "name");
        }
        text += line(names);
    }
    for (std::size_t r = 0; r < rows; ++r) {
        std::vector<std::string> record;
        for (std::size_t k = 0; k < columns; ++k) {
            record.push_back(value(kinds[k], r));
        }
        text += line(record);
        written.values.push_back(record);
    }
    written.bytes = Encoded(text, encoding);
    return written;
}

TEST(SniffRandom, TablesWrittenAnyWayReadBackExactlyOrTheSnifferSaysItIsUnsure) {
    std::mt19937 random(20);
    constexpr int kTables = 300;
    int unsure = 0;
    for (int n = 0; n < kTables; ++n) {
        const auto written = RandomTable(random);
        ConversionOptions options;
        options.AutoRules = true;
        FileNotes notes;
        const auto statements = ConvertBytes(written.bytes, options, "t", 7, &notes);
        if (notes.rulesUnsure) {
            ++unsure;
            continue;
        }
        std::vector<std::vector<std::string>> read;
        for (const auto& statement : statements) {
            if (statement.starts_with("INSERT")) {
                const auto values = InsertValues(statement);
                ASSERT_TRUE(values.has_value()) << statement;
                read.push_back(*values);
            }
        }
        EXPECT_EQ(read, written.values) << "table " << n << ": " << notes.rulesChosen << "\n"
                                        << written.bytes.substr(0, 300);
    }
    // Each table has a column of numbers or dates, so the header can be told nearly always.
    EXPECT_LT(unsure, kTables / 10);
}

}  // namespace
