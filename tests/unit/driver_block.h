// driver_block.h - a request block as a host keeps one, for the driver's unit tests.
//
// Each test gets a fresh block over a fresh memory context; at the end the context must hold
// nothing the test did not free, so every test also proves that the driver leaks nothing.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "internal.h"
#include "kwconst.h"
#include "kwdbt.h"
#include "kwshr.h"
#include "kwtdx.h"

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

    KWCTX context = nullptr;
    RequestBlock block{};
};
