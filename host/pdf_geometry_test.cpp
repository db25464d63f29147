// Rectangles and matrices.
#include "host/pdf_test_support.h"

namespace kshost::pdf::test {
namespace {

bool Same(KS_FloatRect a, KS_FloatRect b) {
  return a.left == b.left && a.bottom == b.bottom && a.right == b.right && a.top == b.top;
}

TEST(PdfGeometry, RectsAndMatrixObjects) {
  KS_FloatRect r{};
  for (const char* bad : {"[1 2 3]", "[1 2 3 (4)]", "<< >>"}) EXPECT_EQ(direct::RectFromObject(Parse(bad).get(), &r), 0);
  ASSERT_EQ(direct::RectFromObject(Parse("[10 20 0 5.5]").get(), &r), 1);
  EXPECT_TRUE(Same(r, {0, 5.5f, 10, 20}));
  KS_FloatRect rect{0.1f, -2, 612, 792.5f}, u{};
  EXPECT_EQ(Write(Owned(direct::RectToObject(&rect)).get()), "[ 0.1 -2 612 792.5 ]");
  direct::RectUnion(&r, &rect, &u);
  EXPECT_TRUE(Same(u, {0, -2, 612, 792.5f}));
  EXPECT_EQ(direct::RectContainsPoint(&u, 0, -2) + direct::RectContainsPoint(&u, 612, 792.5f), 2);  // edges count
  EXPECT_EQ(direct::RectContainsPoint(&u, 612.1f, 0), 0);

  KS_Matrix m{};
  EXPECT_EQ(direct::MatrixFromObject(Parse("[1 0 0 1 5]").get(), &m), 0);
  ASSERT_EQ(direct::MatrixFromObject(Parse("[1 0 0 1 5.5 -3]").get(), &m), 1);
  EXPECT_EQ(m.e, 5.5f);
  // Floats are written to their own precision, without binary noise.
  KS_Matrix rotate{0.70710677f, 0.70710677f, -0.70710677f, 0.70710677f, 0, 0};
  EXPECT_EQ(Write(Owned(direct::MatrixToObject(&rotate)).get()), "[ 0.7071068 0.7071068 -0.7071068 0.7071068 0 0 ]");
}

TEST(PdfGeometry, MatrixConcatOrderAndInverse) {
  KS_Matrix scale{2, 0, 0, 2, 0, 0}, move{1, 0, 0, 1, 10, 0}, m{};
  direct::MatrixConcat(&scale, &move, &m);  // scale, then move
  KS_FloatPoint p{1, 1};
  direct::MatrixTransformPoint(&m, &p);
  EXPECT_FLOAT_EQ(p.x, 12);
  EXPECT_FLOAT_EQ(p.y, 2);
  direct::MatrixConcat(&move, &scale, &m);  // move, then scale
  p = {1, 1};
  direct::MatrixTransformPoint(&m, &p);
  EXPECT_FLOAT_EQ(p.x, 22);

  KS_Matrix inverse{}, identity{}, singular{1, 2, 2, 4, 0, 0};
  ASSERT_EQ(direct::MatrixInvert(&m, &inverse), 1);
  direct::MatrixConcat(&m, &inverse, &identity);
  EXPECT_FLOAT_EQ(identity.a, 1);
  EXPECT_NEAR(identity.e, 0, 1e-5);
  EXPECT_EQ(direct::MatrixInvert(&singular, &inverse), 0);

  KS_Matrix quarter{0, 1, -1, 0, 0, 0};  // 90 degrees counter-clockwise
  KS_FloatRect r{0, 0, 10, 20};
  direct::MatrixTransformRect(&quarter, &r);
  EXPECT_TRUE(Same(r, {-20, 0, 0, 10}));
}

}  // namespace
}  // namespace kshost::pdf::test
