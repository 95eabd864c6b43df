// Sparkles: the trail's explosion cells advance per draw call and hold the
// last, star sparkles pick colour x 4 + variant, never-emitted slots stay
// still and unseen, and every sparkle is drawn with blend mode 1.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "cgl/cgl.h"
#include "common/gl_fixture.h"
#include "game/assets.h"
#include "game/c_sparkle.h"
#include "game/header.h"
#include "game/random.h"

namespace {

// A sheet of 40 tagged 8 by 8 cells: cell k has one white pixel at
// (k mod 8, k div 8) and is clear elsewhere, so a drawn cell names itself.
// Cells 0..7 stand in for spr_explode, 8..39 for spr_sparkle.
class SparkleTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        if (fb_ < 0) fb_ = CGL_InitFramebuffer(360, 240);
        CGL_SetFramebuffer(fb_);
        if (sheet_.pixels == nullptr) {
            ASSERT_EQ(CGL_CreateBitmap(320, 8, &sheet_), 1);
            for (int i = 0; i < sheet_.numpixels; i++) sheet_.pixels[i] = 0;
            for (int k = 0; k < 40; k++) CGL_DrawPixel(k * 8 + k % 8, k / 8, 0xFFFFFFFF, sheet_);
            CGL_UpdateBitmap(sheet_);
        }
        savedExplode_.assign(spr_explode, spr_explode + 8);
        savedSparkle_.assign(spr_sparkle, spr_sparkle + 32);
        for (int k = 0; k < 8; k++) CGL_GetSprite(k * 8, 0, 8, 8, &sheet_, &spr_explode[k]);
        for (int k = 0; k < 32; k++) CGL_GetSprite((8 + k) * 8, 0, 8, 8, &sheet_, &spr_sparkle[k]);
        scrollx = scrolly = 0;
        Clear(0.0f);
    }
    void TearDown() override {
        std::copy(savedExplode_.begin(), savedExplode_.end(), spr_explode);
        std::copy(savedSparkle_.begin(), savedSparkle_.end(), spr_sparkle);
    }
    static void Clear(float grey) {
        glClearColor(grey, grey, grey, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // The tag of the cell drawn with its top-left corner at screen (x, y):
    // -1 when nothing lit is there, -2 when more than one pixel is.
    static int CellAt(int x, int y) {
        std::vector<uint32_t> block = gl_read_pixels(x, 240 - y - 8, 8, 8);
        int found = -1;
        for (int i = 0; i < 64; i++)
            if ((block[i] & 0xFFFFFF) != 0) found = (found == -1) ? i : -2;
        return found;
    }
    static int fb_;
    static s_bitmap sheet_;
    std::vector<s_sprite> savedExplode_, savedSparkle_;
};
int SparkleTest::fb_ = -1;
s_bitmap SparkleTest::sheet_{};

}  // namespace

TEST_F(SparkleTest, Init_StoresItsArgumentsDrawsAVariantAndMovesInAStraightLine) {
    RandomSeed(1234);
    const int expected_variant = Random() % 4;
    RandomSeed(1234);
    c_sparkle s;
    s.Init(10, 20, 0.5f, -1.0f, 0);
    EXPECT_EQ(s.x, 10.0f);
    EXPECT_EQ(s.y, 20.0f);
    EXPECT_EQ(s.dx, 0.5f);
    EXPECT_EQ(s.dy, -1.0f);
    EXPECT_EQ(s.type, 0);
    EXPECT_EQ(s.variant, expected_variant);
    EXPECT_EQ(s.age, 0);
    EXPECT_EQ(s.active, 1);
    for (int i = 0; i < 4; i++) s.Handle();
    EXPECT_EQ(s.x, 12.0f);
    EXPECT_EQ(s.y, 16.0f);

    // Re-emitting a slot starts it afresh.
    s.age = 9;
    s.Init(1, 2, 0, 0, 1);
    EXPECT_EQ(s.age, 0);
    EXPECT_EQ(s.type, 1);
    EXPECT_EQ(s.x, 1.0f);

    // Over many emissions every variant turns up and no other.
    int seen[4] = {0, 0, 0, 0};
    for (int i = 0; i < 400; i++) {
        s.Init(0, 0, 0, 0, 0);
        ASSERT_GE(s.variant, 0);
        ASSERT_LE(s.variant, 3);
        seen[s.variant]++;
    }
    for (int v = 0; v < 4; v++) EXPECT_GT(seen[v], 40) << v;
}

TEST_F(SparkleTest, TrailSparkle_PlaysEachExplosionCellForTwoDrawsThenHoldsTheLast) {
    c_sparkle s;
    s.Init(100, 80, 0.0f, 0.0f, 1);
    for (int draw = 0; draw < 24; draw++) {
        Clear(0.0f);
        s.Draw(5);  // the colour means nothing to a trail sparkle
        const int expected = draw < 15 ? draw / 2 : 7;
        ASSERT_EQ(CellAt(100, 80), expected) << "draw " << draw;
        EXPECT_EQ(s.age, draw < 15 ? draw + 1 : 15);
    }
    // Moving does not advance the animation.
    s.Init(100, 80, 1.0f, 0.0f, 1);
    for (int i = 0; i < 10; i++) s.Handle();
    Clear(0.0f);
    s.Draw(0);
    EXPECT_EQ(CellAt(110, 80), 0);
    EXPECT_EQ(s.age, 1);
}

TEST_F(SparkleTest, StarSparkle_ShowsEntryColourTimesFourPlusVariant) {
    c_sparkle s;
    s.Init(40, 40, 0.0f, 0.0f, 0);
    s.variant = 2;
    s.Draw(3);
    EXPECT_EQ(CellAt(40, 40), 8 + 14);
    for (int colour = 0; colour < 8; colour++)
        for (int variant = 0; variant < 4; variant++) {
            Clear(0.0f);
            s.variant = variant;
            s.Draw(colour);
            ASSERT_EQ(CellAt(40, 40), 8 + colour * 4 + variant) << colour << "," << variant;
        }
    // Colours wrap by eight, and star sparkles never animate.
    Clear(0.0f);
    s.variant = 1;
    s.Draw(11);
    EXPECT_EQ(CellAt(40, 40), 8 + 3 * 4 + 1);
    EXPECT_EQ(s.age, 0);
}

TEST_F(SparkleTest, Draw_TruncatesThePositionAndSubtractsTheCamera) {
    c_sparkle s;
    s.Init(150, 80, 0.9f, 0.3f, 1);
    s.Handle();  // (150.9, 80.3)
    scrollx = 100;
    scrolly = 50;
    s.Draw(0);
    EXPECT_EQ(CellAt(50, 30), 0);
    EXPECT_EQ(CellAt(51, 30), -1);
}

TEST_F(SparkleTest, NeverEmittedSlot_DrawsNothingAndDoesNotMove) {
    c_sparkle s;
    s.x = 30;
    s.y = 30;
    s.dx = 2;
    s.dy = 2;
    s.Handle();
    EXPECT_EQ(s.x, 30.0f);
    EXPECT_EQ(s.y, 30.0f);
    s.Draw(0);
    EXPECT_EQ(CellAt(30, 30), -1);
    EXPECT_EQ(s.age, 0);
    c_sparkle fresh;
    EXPECT_EQ(fresh.active, 0);
}

TEST_F(SparkleTest, Draw_BlendsSourceSquaredWithDestinationSquaredAndSkipsClearPixels) {
    // A grey cell pixel of 100 over a backdrop of 200: 100²/255 + 200²/255.
    s_bitmap grey{};
    ASSERT_EQ(CGL_CreateBitmap(8, 8, &grey), 1);
    for (int i = 0; i < grey.numpixels; i++) grey.pixels[i] = 0;
    CGL_DrawPixel(3, 3, 0xFF646464, grey);
    CGL_UpdateBitmap(grey);
    CGL_GetSprite(0, 0, 8, 8, &grey, &spr_explode[0]);
    Clear(200.0f / 255.0f);
    c_sparkle s;
    s.Init(60, 60, 0.0f, 0.0f, 1);
    s.Draw(0);
    const uint32_t lit = gl_read_pixels(63, 240 - 64, 1, 1)[0] & 0xFF;
    const uint32_t clear = gl_read_pixels(60, 240 - 61, 1, 1)[0] & 0xFF;
    EXPECT_NEAR(int(lit), (100 * 100 + 200 * 200) / 255, 3);
    EXPECT_NEAR(int(clear), 200, 1);
    CGL_DeleteBitmap(&grey);
}
