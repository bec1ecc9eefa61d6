// The allocators: class selection, reuse order and limits.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/area.h"
#include "support/fresh.h"

namespace koru {
namespace {

using testing::expect_raise;
class Area : public testing::Fresh {};

TEST_F(Area, ClassSelectionAtTheBoundaries) {
    struct { size_t n; unsigned cls; } cases[] = {
        {0, 1}, {31, 1}, {32, 2}, {63, 2}, {64, 3}, {127, 4}, {128, 5}, {191, 5}, {192, 6},
        {383, 7}, {384, 8}, {447, 8}, {448, 9}, {511, 9}, {512, 10}, {1023, 11}, {1024, 12},
        {1535, 13}, {1536, 14}, {2047, 14}, {2048, 15}, {100000, 15}};
    enter_run_phase();
    for (auto c : cases) {
        EXPECT_EQ(size_class_for(c.n), c.cls) << c.n;
        AreaBlock b = area_alloc(c.n);
        EXPECT_EQ(b.addr.area_class(), c.cls) << c.n;
        EXPECT_EQ(area_ptr(b.addr), b.ptr);
        std::memset(b.ptr, 0xAB, c.n);  // the block really has n bytes (ASan checks)
    }
}

TEST_F(Area, FreedClassSlotIsReusedHighestFirst) {
    enter_run_phase();
    AreaBlock a = area_alloc(40), b = area_alloc(40), c = area_alloc(40);
    area_free(a.addr);
    area_free(c.addr);
    // The highest free slot of the highest page comes back first, then the next.
    EXPECT_EQ(area_alloc(40).addr, c.addr);
    EXPECT_EQ(area_alloc(40).addr, a.addr);
    // No free slots left: bump again after b.
    AreaAddr d = area_alloc(40).addr;
    EXPECT_EQ(d.bits, b.addr.bits + 2);
}

TEST_F(Area, FreeSlotsAcrossPagesComeFromTheHighestPage) {
    enter_run_phase();
    // Class 12 pages hold 8 slots: 20 blocks fill pages 0, 1 and part of 2.
    AreaAddr blocks[20];
    for (auto& b : blocks) b = area_alloc(1100).addr;
    area_free(blocks[3]);   // page 0
    area_free(blocks[9]);   // page 1
    area_free(blocks[10]);  // page 1
    EXPECT_EQ(area_alloc(1100).addr, blocks[10]);
    EXPECT_EQ(area_alloc(1100).addr, blocks[9]);
    EXPECT_EQ(area_alloc(1100).addr, blocks[3]);
    EXPECT_EQ(area_alloc(1100).addr.bits, blocks[19].bits + 1);
}

TEST_F(Area, UnwrittenReusedSlotIsNotHandedOutTwice) {
    enter_run_phase();
    AreaAddr a = area_alloc(40).addr, b = area_alloc(40).addr, c = area_alloc(40).addr;
    area_free(a);
    area_free(b);
    AreaAddr got_b = area_alloc(40).addr;  // left unwritten by its user
    area_free(c);
    EXPECT_EQ(area_alloc(40).addr, c);
    EXPECT_EQ(area_alloc(40).addr, a);
    EXPECT_NE(area_alloc(40).addr, got_b);
}

TEST_F(Area, LargeBlocksReuseTheHighestFreedIndex) {
    enter_run_phase();
    AreaAddr a = area_alloc(5000).addr, b = area_alloc(5000).addr, c = area_alloc(3000).addr;
    EXPECT_EQ(a.bits, 0xF00000u);
    EXPECT_EQ(c.bits, 0xF00002u);
    area_free(a);
    area_free(b);
    EXPECT_EQ(area_alloc(9000).addr, b);
    EXPECT_EQ(area_alloc(9000).addr, a);
    EXPECT_EQ(area_alloc(9000).addr.bits, 0xF00003u);
}

TEST_F(Area, CompilePhaseBlocksAreZeroedPackedAndNeverFreed) {
    AreaBlock a = area_alloc(10);   // 3 units
    AreaBlock b = area_alloc(4);    // 2 units
    EXPECT_EQ(a.addr.bits, 0u);
    EXPECT_EQ(b.addr.bits, 3u);
    EXPECT_EQ(static_cast<uint8_t*>(b.ptr) - static_cast<uint8_t*>(a.ptr), 12);
    std::memset(a.ptr, 0xFF, 12);
    area_free(a.addr);               // nothing happens in the compile phase
    AreaBlock c = area_alloc(4);
    EXPECT_EQ(c.addr.bits, 5u);
    EXPECT_EQ(static_cast<uint8_t*>(a.ptr)[0], 0xFF);
    enter_run_phase();
    area_free(c.addr);               // class 0 is never released
    EXPECT_EQ(word_page_used(0), 7u);
}

TEST_F(Area, LargeCompileBlockSpansPagesAddressedByItsFirst) {
    area_alloc(100);                       // page 0: 26 units
    AreaBlock big = area_alloc(5000);      // 1251 units: pages 1 and 2
    EXPECT_EQ(big.addr.bits, 1u << 10);
    EXPECT_EQ(word_page_used(1), 1024u);
    EXPECT_EQ(word_page_used(2), 1251u - 1024u);
    std::memset(big.ptr, 1, 5000);
    EXPECT_EQ(area_ptr(big.addr), big.ptr);
    // Small blocks still fill the first page with room.
    EXPECT_EQ(area_alloc(8).addr.bits, 26u);
    // Sealing moves later blocks past the pages in use.
    area_seal_pages();
    EXPECT_EQ(area_alloc(8).addr.bits, 3u << 10);
}

TEST_F(Area, WordPageLimit) {
    for (int i = 0; i <= 1022; ++i) area_alloc(4000);
    auto r = expect_raise([] { area_alloc(4000); });
    EXPECT_EQ(r.code, "1435");
    EXPECT_NE(r.message.find("Buffer Overflow(Area Free)"), std::string::npos);
}

TEST_F(Area, ClassPageLimit) {
    enter_run_phase();
    for (int i = 0; i < 4096 * 8; ++i) area_alloc(1100);  // class 12, 8 slots a page
    auto r = expect_raise([] { area_alloc(1100); });
    EXPECT_EQ(r.code, "1435");
    EXPECT_NE(r.message.find("buffer Overflow(area 12)"), std::string::npos);
}

TEST_F(Area, CellsBumpThenReuseHighestPageAndSlotFirst) {
    Value v[600];
    for (auto& x : v) x = cell_alloc(Kind::Int).value;
    EXPECT_EQ(v[0].bits, 0x02000000u);
    EXPECT_EQ(v[257].bits, 0x02000101u);
    // Freed in the compile phase: recorded, not reused.
    cell_free(v[10]);
    EXPECT_EQ(cell_alloc(Kind::Int).value.bits, 0x02000258u);
    enter_run_phase();
    cell_free(v[300]);   // page 1 slot 44
    cell_free(v[20]);    // page 0 slot 20
    cell_free(v[301]);   // page 1 slot 45
    EXPECT_EQ(cell_alloc(Kind::String).value.bits, 0x09000000u | 1 << 8 | 45);
    EXPECT_EQ(cell_alloc(Kind::String).value.bits, 0x09000000u | 1 << 8 | 44);
    EXPECT_EQ(cell_alloc(Kind::String).value.bits, 0x09000000u | 0 << 8 | 20);
    EXPECT_EQ(cell_alloc(Kind::String).value.bits, 0x09000000u | 0 << 8 | 10);
    EXPECT_EQ(cell_alloc(Kind::String).value.bits, 0x09000000u | 2 << 8 | 89);  // bump again
    EXPECT_EQ(memory_stats().free_cells, 0u);
}

TEST_F(Area, NewCellIsZeroedWithItsHeader) {
    NewCell c = cell_alloc(Kind::Hash, 3);
    EXPECT_EQ(c.cell->header, 0x3C);
    EXPECT_EQ(c.cell->w1 | c.cell->w2 | c.cell->w3, 0u);
    EXPECT_EQ(cell_ref_of(c.cell), c.value);
    EXPECT_EQ(cell_of(c.value), c.cell);
}

TEST_F(Area, CellPageLimit) {
    for (unsigned i = 0; i < 4095u * 256u; ++i) cell_alloc(Kind::Int);
    auto r = expect_raise([] { cell_alloc(Kind::Int); });
    EXPECT_EQ(r.code, "1435");
    EXPECT_NE(r.message.find("Buffer Overflow(Area DW)"), std::string::npos);
}

TEST_F(Area, PointerOutsideEveryPageIsASystemError) {
    cell_alloc(Kind::Int);
    Cell stray{};
    auto r = expect_raise([&] { cell_ref_of(&stray); });
    EXPECT_EQ(r.code, "2495");
}

}  // namespace
}  // namespace koru
