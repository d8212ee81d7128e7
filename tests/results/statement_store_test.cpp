#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "results/statement_store.h"
#include "support/case_name.h"

namespace quarrytab {
namespace {

std::vector<std::string> Rows(const StatementStore& store) {
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < store.size(); ++i) rows.emplace_back(store.row(i));
    return rows;
}

void Fill(StatementStore& store, const std::vector<std::string>& rows) {
    for (const std::string& row : rows) store.append(row);
}

TEST(StatementStore, KeepsEveryRowsBytesInOrderIncludingEmptyAndBinaryRows) {
    const std::vector<std::string> rows = {
        "INSERT INTO 'T' VALUES ('a');", "", std::string("\0x\r\n", 4), "caf\xe9", "", "last"};
    StatementStore store;
    Fill(store, rows);
    EXPECT_EQ(Rows(store), rows);
}

struct RemoveCase {
    const char* name;
    std::size_t first;
    std::size_t count;
    std::vector<std::string> expected;
};

class StatementStoreRemove : public ::testing::TestWithParam<RemoveCase> {};

TEST_P(StatementStoreRemove, LeavesTheOtherRowsUnchanged) {
    StatementStore store;
    Fill(store, {"aa", "", "bbbb", "c", "ddd"});
    store.remove(GetParam().first, GetParam().count);
    EXPECT_EQ(Rows(store), GetParam().expected);
    // The store keeps working after a removal.
    store.append("new");
    auto expected = GetParam().expected;
    expected.push_back("new");
    EXPECT_EQ(Rows(store), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatementStoreRemove,
    ::testing::Values(
        RemoveCase{"First", 0, 1, {"", "bbbb", "c", "ddd"}},
        RemoveCase{"EmptyRow", 1, 1, {"aa", "bbbb", "c", "ddd"}},
        RemoveCase{"Middle", 2, 1, {"aa", "", "c", "ddd"}},
        RemoveCase{"Last", 4, 1, {"aa", "", "bbbb", "c"}},
        RemoveCase{"SeveralInside", 1, 3, {"aa", "ddd"}}, RemoveCase{"All", 0, 5, {}},
        RemoveCase{"CountPastTheEnd", 3, 9, {"aa", "", "bbbb"}},              // stops at the end
        RemoveCase{"StartPastTheEnd", 5, 1, {"aa", "", "bbbb", "c", "ddd"}},  // removes nothing
        RemoveCase{"NoRows", 2, 0, {"aa", "", "bbbb", "c", "ddd"}}),
    CaseName());

TEST(StatementStore, AppendRowsMatchesAppendingOneByOne) {
    StatementStore single;
    StatementStore blocks;
    std::mt19937 random(7);
    std::vector<std::string> all;
    for (int block = 0; block < 50; ++block) {
        StatementBlock collected;
        const int rows = static_cast<int>(random() % 40);
        for (int i = 0; i < rows; ++i) {
            std::string row(random() % 30, static_cast<char>('a' + block % 26));
            single.append(row);
            all.push_back(row);
            collected.bytes += row;
            collected.ends.push_back(collected.bytes.size());
        }
        if (block % 2 == 0) {
            blocks.appendRows(collected.bytes, collected.ends);
        } else {
            blocks.appendBlock(std::move(collected));  // taken over whole
        }
    }
    EXPECT_EQ(Rows(single), all);
    EXPECT_EQ(Rows(blocks), all);
}

TEST(StatementStore, ClearEmptiesAndFreesAndSqueezeKeepsRows) {
    StatementStore store;
    Fill(store, {"one", "", "three"});
    store.squeeze();
    EXPECT_EQ(Rows(store), (std::vector<std::string>{"one", "", "three"}));
    store.clear();
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(store.footprint(), 0u);
    store.append("again");
    EXPECT_EQ(Rows(store), std::vector<std::string>{"again"});

    StatementStore emptyRows;
    Fill(emptyRows, {"", ""});
    emptyRows.squeeze();
    EXPECT_EQ(Rows(emptyRows), (std::vector<std::string>{"", ""}));
}

// The store's promise: within one and a half times the statements' bytes plus 16 bytes a row,
// at every size on the way, not only after a squeeze.
TEST(StatementStore, MemoryStaysWithinHalfAgainTheTextPlusSixteenBytesARow) {
    StatementStore store;
    std::mt19937 random(11);
    std::string row;
    std::size_t worst = 0;
    for (int i = 0; i < 300000; ++i) {
        row.assign(20 + random() % 200, 'x');
        store.append(row);
        const std::size_t allowed = store.byteSize() + store.byteSize() / 2 + 16 * store.size();
        // Below the first allocation's minimum the bound does not apply yet.
        if (store.byteSize() > (std::size_t{64} << 10) && store.footprint() > allowed)
            worst = std::max(worst, store.footprint() - allowed);
    }
    EXPECT_EQ(worst, 0u);

    // The same through blocks taken over whole, small rows filling blocks by their row limit.
    StatementStore fromBlocks;
    StatementBatcher batcher(
        [&](StatementBlock&& block) { fromBlocks.appendBlock(std::move(block)); });
    for (int i = 0; i < 300000; ++i) batcher.statement(std::string(5 + random() % 30, 'y'));
    batcher.flush();
    EXPECT_LE(fromBlocks.footprint(),
              fromBlocks.byteSize() + fromBlocks.byteSize() / 2 + 16 * fromBlocks.size());
    store.squeeze();
    EXPECT_LE(store.footprint(), store.byteSize() + 8 * store.size() + 4096);
}

// Removals that cross the borders between blocks taken over whole, against a plain list.
// A shared copy taken before the changes keeps its rows whatever the original goes through.
TEST(StatementStore, RemovalsAcrossBlocksMatchAPlainListAndLeaveASharedCopy) {
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        StatementStore store;
        std::vector<std::string> expected;
        for (int b = 0; b < 4; ++b) {
            StatementBlock block;
            const int rows = 1 + static_cast<int>(random() % 5);
            for (int i = 0; i < rows; ++i) {
                std::string row(random() % 4, static_cast<char>('a' + b));
                row += std::to_string(i);
                block.bytes += row;
                block.ends.push_back(block.bytes.size());
                expected.push_back(row);
            }
            if (b == 2) {
                store.appendRows(block.bytes, block.ends);
            } else {
                store.appendBlock(std::move(block));
            }
        }
        const StatementStore copy = store.shared();
        const std::vector<std::string> copied = expected;
        for (int removal = 0; removal < 3 && !expected.empty(); ++removal) {
            const std::size_t first = random() % expected.size();
            const std::size_t count = 1 + random() % 6;
            store.remove(first, count);
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(first),
                           expected.begin() + static_cast<std::ptrdiff_t>(
                                                  std::min(expected.size(), first + count)));
            ASSERT_EQ(Rows(store), expected) << "round " << round;
            EXPECT_EQ(store.byteSize(), [&] {
                std::size_t total = 0;
                for (const std::string& row : expected) total += row.size();
                return total;
            }());
        }
        store.append("after");
        store.squeeze();
        expected.push_back("after");
        ASSERT_EQ(Rows(store), expected);
        ASSERT_EQ(Rows(copy), copied) << "round " << round;
        store.clear();
        ASSERT_EQ(Rows(copy), copied);
    }
}

TEST(StatementBatcher, HandsOnBoundedBlocksThatTogetherHoldEveryStatement) {
    std::vector<StatementBlock> blocks;
    StatementBatcher batcher([&](StatementBlock&& block) { blocks.push_back(std::move(block)); },
                             100, 4);
    std::vector<std::string> sent;
    for (int i = 0; i < 30; ++i) {
        sent.push_back(
            std::string(static_cast<std::size_t>(i * 7 % 45), static_cast<char>('a' + i % 26)));
        batcher.statement(sent.back());
    }
    sent.push_back(std::string(500, 'z'));  // longer than a block on its own
    batcher.statement(sent.back());
    sent.push_back("tail");
    batcher.statement(sent.back());
    batcher.flush();
    batcher.flush();  // nothing left: no empty block

    StatementStore store;
    for (const StatementBlock& block : blocks) {
        EXPECT_FALSE(block.empty());
        EXPECT_LE(block.rows(), 4u);
        // A block closes as soon as it reaches its size, so only its last row can pass it.
        if (block.rows() > 1) {
            EXPECT_LT(block.ends[block.rows() - 2], 100u);
        }
        store.appendRows(block.bytes, block.ends);
    }
    EXPECT_EQ(Rows(store), sent);
}

}  // namespace
}  // namespace quarrytab
