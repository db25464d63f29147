// The markups list's routes of annot serve, spoken to as the page does.
#include "serve/serve_test_support.h"

namespace annotserve::testing {
namespace {

TEST_F(ServeTest, TheMarkupsListRefusesWordsItDoesNotKnowAndSelectsOnlyMarkupsThatAreThere) {
  ASSERT_FALSE(State().empty());
  // The plan's red ink stroke is its one markup: no measurement, no total.
  auto list = client_->Get("/api/markups?group=kind", Auth());
  ASSERT_TRUE(list);
  ASSERT_EQ(list->status, 200) << list->body;
  EXPECT_NE(list->body.find("\"title\":\"Ink\""), std::string::npos) << list->body;
  EXPECT_NE(list->body.find("\"totals\":[]"), std::string::npos) << list->body;
  EXPECT_EQ(Field(list->body, "count"), "1") << list->body;

  for (const char* query : {"sort=colour", "group=page", "sort=Value"}) {
    auto r = client_->Get((std::string("/api/markups?") + query).c_str(), Auth());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400) << query;
    auto csv = client_->Get((std::string("/api/markups.csv?") + query).c_str(), Auth());
    ASSERT_TRUE(csv);
    EXPECT_EQ(csv->status, 400) << query;
  }
  // Without the token nothing is listed.
  auto refused = client_->Get("/api/markups");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);

  for (const char* query : {"page=0&index=5", "page=3&index=0", "page=-1&index=0", "page=0", "page=x&index=0"}) {
    auto r = Post("/api/select", query);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->status == 404 || r->status == 400) << query << " " << r->status;
  }
  auto selected = Post("/api/select", "page=0&index=0");
  ASSERT_TRUE(selected);
  ASSERT_EQ(selected->status, 200) << selected->body;
  EXPECT_NE(selected->body.find("\"tool\":\"Hand\""), std::string::npos);
  EXPECT_NE(selected->body.find("\"prompt\":\"Click a markup to select it; drag it to move it\""), std::string::npos);

  // The CSV: byte order mark, the header, the stroke; nothing to total.
  auto csv = client_->Get("/api/markups.csv", Auth());
  ASSERT_TRUE(csv);
  ASSERT_EQ(csv->status, 200);
  EXPECT_EQ(csv->get_header_value("Content-Disposition"), "attachment; filename=\"plan-markups.csv\"");
  EXPECT_EQ(csv->body.rfind("\xEF\xBB\xBF\"Page\",\"Kind\",\"Subject\",\"Label\",\"Value\",\"Author\",\"Date\"\r\n\"1\",\"Ink\",", 0), 0u)
      << csv->body;
  EXPECT_EQ(csv->body.find("Total"), std::string::npos) << csv->body;
  // Nothing of this changed the document.
  EXPECT_EQ(Field(State(), "undo"), "0");
}

}  // namespace
}  // namespace annotserve::testing
