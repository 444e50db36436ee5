// The JSON that orvana-cli writes by hand must be byte for byte what a JSON
// library's compact dump gives (with odd bytes replaced), since scripts were
// written against that output.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "cli/json_text.h"
#include "results/results_table.h"

namespace orvana::cli {
namespace {

using json = nlohmann::ordered_json;

std::string Reference(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string Written(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

TEST(JsonText, StringsMatchTheLibrarysDumpForEveryKindOfByte) {
  const std::vector<std::string> cases = {
      "",
      "A17050301",
      "quote \" backslash \\ slash /",
      std::string("\0\x01\x08\x09\x0a\x0b\x0c\x0d\x1f\x7f", 10),
      "\xe2\x82\xac \xc3\xa9 \xf0\x9f\x98\x80",  // euro, e acute, an emoji
      "\xff\xfe",                                // bytes that start nothing
      "\xc3\x28",                                // a lead byte broken off
      "\xe2\x82",                                // cut short at the end
      "\xe0\x80\xaf",                            // overlong
      "\xed\xa0\x80",                            // a surrogate
      "\xf4\x90\x80\x80",                        // past U+10FFFF
      "\xf0\x9f\x98",                            // an emoji missing its last byte
      "\xc0\xaf\xc1\xbf",
      "ok\xe2\x28\xa1ok",
  };
  for (const std::string& text : cases) {
    EXPECT_EQ(Written(text), Reference(text))
        << json(text).dump(-1, ' ', true, json::error_handler_t::replace);
  }

  // Random strings drawn mostly from the bytes where UTF-8 decisions lie.
  std::mt19937 random(20170503);
  const std::vector<uint8_t> interesting = {
      0x00, 0x1f, 0x20, '"',  '\\', 'a',  0x7f, 0x80, 0x8f, 0x90, 0x9f, 0xa0, 0xbf, 0xc0, 0xc1,
      0xc2, 0xdf, 0xe0, 0xe1, 0xec, 0xed, 0xee, 0xef, 0xf0, 0xf1, 0xf3, 0xf4, 0xf5, 0xff};
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 12, '\0');
    for (char& c : text) {
      c = static_cast<char>(random() % 4 == 0 ? random() % 256
                                              : interesting[random() % interesting.size()]);
    }
    ASSERT_EQ(Written(text), Reference(text)) << "round " << round;
  }
}

TEST(JsonText, RowsMatchTheLibrarysDumpWithAndWithoutColours) {
  results::ResultsTable table;
  table.AppendRow(" ");
  const int row = table.AppendRow("S\"1\xff");
  table.SetText(row, results::Column::Value1, "-0.21");
  table.SetText(row, results::Column::Time, "2017/05/03 12:34:56");
  table.SetCellTextColor(results::Column::Value1, row, results::COLOR_PASS_LATEST);
  table.SetCellTextColor(results::Column::Value2, row, results::Rgb{1, 0xAB, 0xFF});

  for (const int index : {0, row}) {
    json cells = json::array();
    json colors = json::array();
    for (int column = 0; column < results::kColumnCount; ++column) {
      cells.push_back(table.Text(index, column));
      const auto color = table.CellTextColor(index, column);
      colors.push_back(color ? json(color->Hex()) : json(nullptr));
    }
    const json plain = {{"row", index}, {"cells", cells}};
    json colored = plain;
    colored["colors"] = colors;
    std::string out = "x";  // appended to, never replaced
    AppendRowJson(out, table, index, false);
    EXPECT_EQ(out, "x" + Reference(plain));
    out.clear();
    AppendRowJson(out, table, index, true);
    EXPECT_EQ(out, Reference(colored));
  }
}

}  // namespace
}  // namespace orvana::cli
