// driver_block.h - a request block as a host keeps one, for the driver's unit tests.
//
// Each test gets a fresh block over a fresh memory context; at the end the context must hold
// nothing the test did not free, so every test also proves that the driver leaks nothing.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "internal.h"
#include "kwconst.h"
#include "kwdbt.h"
#include "kwshr.h"
#include "kwtdx.h"

// A statement as its lines.
using Lines = std::vector<std::string>;

// A statement written as one text, its lines apart by "\n" (how the golden statements are kept).
inline Lines linesOf(const std::string& text) {
    Lines lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

class DriverBlockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        context = kwhost_createContext("driver-unit-test");
        block = RequestBlock{};
        block.memoryContext = context;
    }

    void TearDown() override {
        if (block.currentUser != nullptr) {
            kwshr_free(context, block.currentUser);
        }
        KwContextStats stats{};
        kwhost_contextStats(context, &stats);
        EXPECT_EQ(stats.liveAllocations, 0) << "the request left allocations behind";
        EXPECT_EQ(stats.foreignFrees, 0) << "something freed memory the context never handed out";
        kwhost_destroyContext(context);
    }

    // Calls the driver as the host does.
    void route(int32_t code) {
        block.requestCode = code;
        EXPECT_EQ(KW_TDX_Rout(&block), 0);
    }

    std::string message() const { return std::string(block.message); }

    // Frees the texts the driver copied into a connection record the test owns.
    void freeTexts(ConnectionRecord& record) {
        for (char* text : {record.systemOwner, record.catalogOwner, record.groupId, record.tableCriteria,
                           record.conversionTable}) {
            if (text != nullptr) {
                kwshr_free(context, text);
            }
        }
    }

    // Every statement of the block's statement list, each as its lines.
    std::vector<Lines> statements() {
        std::vector<Lines> out;
        HostList* list = block.statementList;
        for (HostListNode* n = list != nullptr ? list->first : nullptr; n != nullptr; n = n->next) {
            out.push_back(linesOf(static_cast<StatementRecord*>(n->data)->text));
        }
        return out;
    }

    // The one statement of the list (a failure when there are more or none).
    Lines only() {
        std::vector<Lines> all = statements();
        EXPECT_EQ(all.size(), 1u);
        return all.empty() ? Lines{} : all.back();
    }

    // Frees the statement list as the host does once it has read it.
    void clearStatements() {
        HostList* list = block.statementList;
        for (HostListNode* n = list != nullptr ? list->first : nullptr; n != nullptr; n = n->next) {
            auto* record = static_cast<StatementRecord*>(n->data);
            kwshr_free(context, record->text);
            kwshr_free(context, record);
        }
        if (list != nullptr) {
            kwshr_destroyList(list);
        }
        block.statementList = nullptr;
    }

    // The text that `build(block, statement)` writes into a fresh catalog statement.
    template <typename Build>
    std::string catalogText(Build build) {
        CatalogStatement statement;
        EXPECT_EQ(TDX_BeginStatement(&block, &statement), 1);
        build(&block, &statement);
        std::string text = statement.text;
        TDX_EndStatement(&block, &statement);
        return text;
    }

    // The text `write(block, statement, args...)` writes into a fresh catalog statement.
    template <typename Write, typename... Args>
    std::string catalogTextOf(Write write, Args... args) {
        return catalogText([&](RequestBlock* b, CatalogStatement* s) { write(b, s, args...); });
    }

    KWCTX context = nullptr;
    RequestBlock block{};
};
