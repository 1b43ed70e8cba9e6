// Plain-text tables for a terminal: columns aligned by the width the text
// takes on screen, not by bytes or code points. East Asian full-width and
// wide characters (Kanji, kana, full-width Latin) take two columns,
// combining marks and other zero-width characters none.
//
//   TextTable table({"KEY", "NAME"}, {TextTable::kRight, TextTable::kLeft});
//   table.Add({"17", "山田 太郎"});
//   std::fputs(table.Render().c_str(), stdout);
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Columns `text` takes on a terminal (UTF-8; an ill-formed byte counts one).
size_t DisplayWidth(std::string_view text);

class TextTable {
public:
    enum Align { kLeft, kRight };

    TextTable(std::vector<std::string> headings, std::vector<Align> align);

    // One row; missing cells are empty, extra cells are dropped.
    void Add(std::vector<std::string> cells);

    // The headings and rows, two blanks between columns, no trailing blanks.
    std::string Render() const;

private:
    std::vector<Align> m_align;
    std::vector<std::vector<std::string>> m_rows;  // the headings first
};
