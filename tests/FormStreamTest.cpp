// The form text: writing, reading, round trips, and malformed forms, first with small test
// classes, then with every component of the package.
#include <gtest/gtest.h>

#include <limits>

#include "morvane/framework/Forms.h"
#include "support/TestComponents.h"

using namespace morvane;
using namespace morvane::test;

namespace {

class FormText : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.RegisterComponents("Test", {ClassOf<TTestWidget>(), ClassOf<TTestPanel>()});
  }
  TClassRegistry registry;
};

}  // namespace

TEST_F(FormText, WritesPropertiesInDeclarationOrderAndNestsOwnedComponents) {
  TTestPanel panel;
  panel.SetName("Panel1");
  panel.SetCaption("It's");
  auto* w = new TTestWidget(&panel);
  w->SetName("Widget1");
  w->SetCaption(std::string("a\0b", 3) + "\xE9\r\n");
  w->SetSize(0);
  w->SetOffset(-12);
  w->SetColour(tcBlue);
  auto* inner = new TTestPanel(w);  // no name
  (void)inner;
  EXPECT_EQ(WriteComponentText(panel, registry),
            "object Panel1: TTestPanel\n"
            "  Caption = 'It''s'\n"
            "  object Widget1: TTestWidget\n"
            "    Caption = 'a'#0'b'#233#13#10\n"
            "    Size = 0\n"
            "    Offset = -12\n"
            "    Colour = tcBlue\n"
            "    object TTestPanel\n"
            "      Caption = ''\n"
            "    end\n"
            "  end\n"
            "end\n");
}

TEST_F(FormText, RoundTripKeepsEveryByteAndValue) {
  std::string allBytes;
  for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
  for (const std::string& caption : {std::string(), std::string("''"), std::string("'"), allBytes,
                                     std::string("#13'x'#"), std::string(5000, '\'')}) {
    for (int32_t offset :
         {0, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
      TTestPanel root;
      root.SetName("Root");
      auto* w = new TTestWidget(&root);
      w->SetName("W");
      w->SetCaption(caption);
      w->SetOffset(offset);
      w->SetColour(tcGreen);
      const std::string text = WriteComponentText(root, registry);
      std::unique_ptr<TComponent> back = ReadComponentText(text, registry);
      ASSERT_EQ(back->ClassName(), "TTestPanel");
      EXPECT_EQ(back->GetName(), "Root");
      ASSERT_EQ(back->GetComponentCount(), 1);
      auto* w2 = dynamic_cast<TTestWidget*>(back->GetComponent(0));
      ASSERT_NE(w2, nullptr);
      EXPECT_EQ(w2->GetOwner(), back.get());
      EXPECT_EQ(w2->GetName(), "W");
      EXPECT_EQ(w2->GetCaption(), caption);
      EXPECT_EQ(w2->GetOffset(), offset);
      EXPECT_EQ(w2->GetColour(), tcGreen);
      EXPECT_EQ(WriteComponentText(*back, registry), text);
    }
  }
}

TEST_F(FormText, ReaderSetsPropertiesInTheOrderTheyAppear) {
  auto a = ReadComponentText(
      "object W: TTestWidget\n Colour = tcGreen\n Caption = 'x'\n Size = 3\nend", registry);
  EXPECT_EQ(static_cast<TTestWidget&>(*a).SetterLog,
            (std::vector<std::string>{"Colour", "Caption", "Size"}));
  auto b = ReadComponentText("object W: TTestWidget\n Size = 3\n Size = 4\nend", registry);
  EXPECT_EQ(static_cast<TTestWidget&>(*b).SetterLog, (std::vector<std::string>{"Size", "Size"}));
  EXPECT_EQ(static_cast<TTestWidget&>(*b).GetSize(), 4);
}

TEST_F(FormText, ReaderAcceptsTheTextsWritersProduce) {
  // Other writers: CRLF line ends, tabs, any case for keywords, names and values, long strings
  // continued with '+', hexadecimal character codes, an unnamed root, no properties at all.
  auto c = ReadComponentText(
      "OBJECT w1: ttestwidget\r\n\tcaption = 'ab'#$41#$0a +\r\n   'cd' + #9\r\n"
      "\tSIZE = 5 \r\n  offset = -5\r\n  colour = TCBLUE\r\n  Object P: TTestPanel End\r\nEnd\r\n",
      registry);
  auto& w = dynamic_cast<TTestWidget&>(*c);
  EXPECT_EQ(w.GetName(), "w1");
  EXPECT_EQ(w.GetCaption(), "abA\ncd\t");
  EXPECT_EQ(w.GetSize(), 5);
  EXPECT_EQ(w.GetOffset(), -5);
  EXPECT_EQ(w.GetColour(), tcBlue);
  ASSERT_EQ(w.GetComponentCount(), 1);
  EXPECT_EQ(w.GetComponent(0)->GetName(), "P");
  auto bare = ReadComponentText("object TTestPanel end", registry);
  EXPECT_EQ(bare->GetName(), "");
  EXPECT_EQ(bare->ClassName(), "TTestPanel");
}

TEST_F(FormText, StreamsCarryTheSameText) {
  TTestWidget w;
  w.SetName("W");
  w.SetCaption("via stream");
  TMemoryStream stream;
  stream.WriteBuffer("prefix", 6);
  WriteComponent(stream, w, registry);
  EXPECT_EQ(stream.Data().substr(6), WriteComponentText(w, registry));
  stream.Seek(6);
  auto back = ReadComponent(stream, registry);
  EXPECT_EQ(static_cast<TTestWidget&>(*back).GetCaption(), "via stream");
}

TEST_F(FormText, WriterRefusesWhatCouldNotBeReadBack) {
  TTestWidget w;
  w.SetName("two words");
  EXPECT_THROW(WriteComponentText(w, registry), EWriteError);
  w.SetName("W");
  TClassRegistry empty;
  EXPECT_THROW(WriteComponentText(w, empty), EWriteError);
  w.SetColour(static_cast<TTestColour>(9));
  EXPECT_THROW(WriteComponentText(w, registry), EWriteError);
}

TEST_F(FormText, MalformedFormsFailNamingTheLineAndLeaveNothing) {
  struct Case {
    const char* text;
    int32_t line;
    const char* fragment;
  };
  const Case cases[] = {
      {"", 1, "'object' expected"},
      {"object W: TNoSuchClass\nend", 1, "Class TNoSuchClass not found"},
      {"object W: TTestWidget\n  Size = 1\n  Colr = tcRed\nend", 3, "Property Colr does not exist"},
      {"object W: TTestWidget\n  Count = 3\nend", 2, "read-only"},
      {"object W: TTestWidget\n  OnChange = Handler\nend", 2, "Event OnChange"},
      {"object W: TTestWidget\n  Size = 'ten'\nend", 2, "Integer value expected"},
      {"object W: TTestWidget\n  Size = 2147483648\nend", 2, "out of range"},
      {"object W: TTestWidget\n  Size = -2147483649\nend", 2, "out of range"},
      {"object W: TTestWidget\n  Size = 12abc\nend", 2, "Invalid number"},
      {"object W: TTestWidget\n  Size = -1\nend", 2, "Size must not be negative"},
      {"object W: TTestWidget\n  Colour = tcPurple\nend", 2, "Invalid value 'tcPurple'"},
      {"object W: TTestWidget\n  Colour = 1\nend", 2, "Enumeration value expected"},
      {"object W: TTestWidget\n  Caption = 5\nend", 2, "String value expected"},
      {"object W: TTestWidget\n  Caption = 'abc\nend", 2, "Unterminated string"},
      {"object W: TTestWidget\n  Caption = 'a'#256\nend", 2, "out of range"},
      {"object W: TTestWidget\n  Caption = 'a'#\nend", 2, "Character code expected"},
      {"object W: TTestWidget\n  Caption = 'a' +\nend", 3, "String expected"},
      {"object W: TTestWidget\n  Caption 'a'\nend", 2, "'=' expected"},
      {"object W: TTestWidget\n  Font.Size = 3\nend", 2, "Font.Size does not exist"},
      {"object W: TTestWidget\n  Size = 3\n", 3, "'end' expected"},
      {"object W: TTestWidget\nend\nend", 3, "after the last 'end'"},
      {"object W: TTestWidget\n  object P: TTestPanel\n  end\n  Size = 3\nend", 4,
       "'end' expected"},
      {"object P: TTestPanel\n  object A: TTestWidget\n  end\n  object A: TTestPanel\n  end\nend",
       4, "A component named A already exists"},
      {"object P: TTestPanel\n  inherited A: TTestWidget\n  end\nend", 2, "not supported"},
      {"object : TTestPanel\nend", 1, "Component name expected"},
      {"object P: TTestPanel\n  object Q: 5\n  end\nend", 2, "Class name expected"},
      {"object P: TTestPanel\n  object Q: TNoSuchClass\n  end\nend", 2, "TNoSuchClass not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(TTestControl::Live, 0);
    try {
      ReadComponentText(c.text, registry);
      ADD_FAILURE() << "no exception";
    } catch (const EParserError& e) {
      EXPECT_EQ(e.Line(), c.line) << e.Message();
      EXPECT_EQ(e.Message().rfind("Line " + std::to_string(c.line) + ": ", 0), 0u) << e.Message();
      EXPECT_NE(e.Message().find(c.fragment), std::string::npos) << e.Message();
    }
    EXPECT_EQ(TTestControl::Live, 0);
  }
}

TEST_F(FormText, DeepNestingIsRefusedNotOverflowingTheStack) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "object TTestPanel\n";
  try {
    ReadComponentText(text, registry);
    FAIL() << "no exception";
  } catch (const EParserError& e) {
    EXPECT_NE(e.Message().find("nested too deep"), std::string::npos);
  }
  EXPECT_EQ(TTestControl::Live, 0);
  std::string ok;
  for (int i = 0; i < 50; ++i) ok += "object TTestPanel\n";
  for (int i = 0; i < 50; ++i) ok += "end\n";
  EXPECT_NO_THROW(ReadComponentText(ok, registry));
}
