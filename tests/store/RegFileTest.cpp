// The REGEDIT4 text form: what the file store writes and what it can read.
#include <gtest/gtest.h>

#include "RegFile.h"
#include "Records.h"

namespace korvel {
namespace {

std::shared_ptr<TRegNode> SampleTree() {
  auto root = std::make_shared<TRegNode>();
  TRegNode* key = root->Create("HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion");
  key->SetDword("MajorVersion", 42);
  TRegNode* rec = key->Create("ClientPasswords\\0");
  rec->SetText("Tag", "quote \" and backslash \\ and high \xE9\xFF");
  rec->SetText("Challenge", "line\r\nend");
  rec->SetText("String", "");
  rec->SetValue("Bin", TRegValue{kRegBinary, std::string("\x00\x01\xFF", 3)});
  rec->SetValue("Multi", TRegValue{kRegMultiSz, std::string(100, 'x')});
  rec->SetValue("", TRegValue{kRegSz, "default"});
  key->Create("Empty");
  return root;
}

TEST(RegTreeText, RoundTripKeepsEveryValueExactly) {
  auto root = SampleTree();
  std::string text = WriteRegFile(*root);
  TRegParseResult parsed = ParseRegFile(text);
  EXPECT_TRUE(parsed.Errors.empty()) << parsed.Errors.front().Message;
  EXPECT_TRUE(parsed.Root->SameAs(*root)) << text;
  // Written again, the text is the same bytes.
  EXPECT_EQ(WriteRegFile(*parsed.Root), text);
}

TEST(RegTreeText, WritesTheRegistryExportForms) {
  std::string text = WriteRegFile(*SampleTree());
  EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion]\r\n"
                      "\"MajorVersion\"=dword:0000002a\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"Tag\"=\"quote \\\" and backslash \\\\ and high \xE9\xFF\"\r\n"),
            std::string::npos);
  // A line end cannot stand in a quoted text: hex(1), bytes without a zero.
  EXPECT_NE(text.find("\"Challenge\"=hex(1):6c,69,6e,65,0d,0a,65,6e,64\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Bin\"=hex:00,01,ff\r\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default\"\r\n"), std::string::npos);
  // An empty key is written so that it exists; keys above it are implied.
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion\\Empty]\r\n"),
            std::string::npos);
  EXPECT_EQ(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE]"), std::string::npos);
  // Long hex forms are wrapped with continuation lines.
  EXPECT_NE(text.find(",\\\r\n  78,"), std::string::npos);
}

TEST(RegTreeText, BadLinesAreReportedAndTheRestIsKept) {
  std::string text =
      "REGEDIT4\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\A]\n"
      "\"Good\"=\"1\"\n"
      "\"Broken=\"2\"\n"          // line 5: the name is never closed
      "garbage here\n"            // line 6
      "\"Num\"=dword:xyz\n"       // line 7
      "\"Unclosed\"=\"abc\n"      // line 8
      "[HKEY_LOCAL_MACHINE\\B\n"  // line 9
      "\"Lost\"=\"under a broken key line\"\n"
      "[NOTAHIVE\\C]\n"  // line 11
      "[HKEY_LOCAL_MACHINE\\D]\n"
      "\"After\"=hex(1):41,42,00\n"
      "\"Bytes\"=hex:1,2,zz\n";  // line 14
  TRegParseResult parsed = ParseRegFile(text);
  std::vector<int> lines;
  for (const auto& e : parsed.Errors) lines.push_back(e.Line);
  EXPECT_EQ(lines, (std::vector<int>{5, 6, 7, 8, 9, 11, 14}));
  const TRegNode* root = parsed.Root.get();
  const TRegNode* a = root->Find("HKEY_LOCAL_MACHINE\\A");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Text("Good"), "1");
  EXPECT_FALSE(root->Find("HKEY_LOCAL_MACHINE\\B"));
  const TRegNode* d = root->Find("HKEY_LOCAL_MACHINE\\D");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Text("After"), "AB");  // a stored terminating zero is ignored
}

TEST(RegTreeText, FilesThatAreNoExportAreRefusedWhole) {
  for (std::string text : {std::string(), std::string("\n\n  \n"),
                           std::string("\x7f"
                                       "ELF\x02\x01\x01\0\0\0",
                                       10),
                           std::string("[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n")}) {
    TRegParseResult parsed = ParseRegFile(text);
    EXPECT_FALSE(parsed.Errors.empty());
    EXPECT_TRUE(parsed.Root->Keys.empty());
  }
}

TEST(RegTreeText, ReadsTheUtf16FormOfRegExport) {
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion\\ClientPasswords\\0]\r\n"
      "\"Tag\"=\"n\xF6"
      "de\"\r\n"
      "\"String\"=hex(1):73,00,65,00,\\\r\n  63,00,00,00\r\n"
      "\"Type\"=\"MD5\"\r\n";
  TRegParseResult parsed = ParseRegFile(test::Utf16(text));
  EXPECT_TRUE(parsed.Errors.empty());
  const TRegNode* key = parsed.Root->Find(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion\\ClientPasswords\\0");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->Text("Tag"),
            "n\xF6"
            "de");
  EXPECT_EQ(key->Text("String"), "sec");
  EXPECT_EQ(key->Text("Type"), "MD5");

  // A character that 8-bit text cannot hold makes its line an error.
  std::string wide = test::Utf16("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"?\"\r\n");
  wide[wide.size() - 8] = '\x3A';  // the '?' becomes U+263A
  wide[wide.size() - 7] = '\x26';
  parsed = ParseRegFile(wide);
  ASSERT_EQ(parsed.Errors.size(), 1u);
  EXPECT_EQ(parsed.Errors[0].Line, 3);
}

TEST(RegTreeText, DeletionFormsRemoveWhatCameBefore) {
  TRegParseResult parsed = ParseRegFile(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=\"1\"\n\"w\"=\"2\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=-\n[-HKEY_LOCAL_MACHINE\\A\\C]\n"
      "[HKEY_LOCAL_MACHINE\\A\\C\\D]\n[-HKEY_LOCAL_MACHINE\\A\\C]\n");
  EXPECT_TRUE(parsed.Errors.empty());
  const TRegNode* a = parsed.Root->Find("HKEY_LOCAL_MACHINE\\A");
  ASSERT_TRUE(a);
  const TRegNode* b = a->Find("B");
  EXPECT_FALSE(b->Value("v"));
  EXPECT_EQ(b->Text("w"), "2");
  EXPECT_FALSE(a->Find("C"));
}

TEST(RegTreeKeys, NamesIgnoreCaseAndEnumerateSortedAsText) {
  TRegNode root;
  TRegNode* key = root.Create("HKEY_LOCAL_MACHINE\\List");
  for (const char* name : {"2", "10", "b", "A", "1"}) key->Create(name);
  std::vector<std::string> names;
  for (const auto& [name, child] : key->Keys) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"1", "10", "2", "A", "b"}));
  EXPECT_TRUE(key->Find("B"));
  key->SetText("Value", "x");
  EXPECT_EQ(key->Text("VALUE"), "x");
  key->SetText("value", "y");
  EXPECT_EQ(key->Find(""), nullptr);
  EXPECT_EQ(key->Text("Value"), "y");
  EXPECT_EQ(key->Values.size(), 1u);
  key->Erase("a\\gone");  // a key that is not there: nothing happens
  key->Erase("A");
  EXPECT_FALSE(key->Find("a"));
}

TEST(RegTreeKeys, ValueReadersCheckTypeAndSize) {
  TRegNode key;
  key.SetValue("short", TRegValue{kRegDword, "abc"});
  key.SetValue("text", TRegValue{kRegSz, "12"});
  key.SetValue("long", TRegValue{kRegSz, std::string(300, 'a')});
  key.SetValue("zero", TRegValue{kRegSz, std::string("ab\0cd", 5)});
  EXPECT_FALSE(key.Dword("short"));
  EXPECT_FALSE(key.Dword("text"));
  EXPECT_FALSE(key.Text("short"));
  EXPECT_EQ(key.Text("long", 255)->size(), 255u);
  EXPECT_EQ(key.Text("zero"), "ab");
  EXPECT_FALSE(key.Text("missing"));
  EXPECT_FALSE(key.SetText("line\nend", "x"));  // the text form cannot carry it
}

// Keys nest at most as deep as in the registry: a file with a deeper key is
// refused on that line, not walked until the stack runs out.
TEST(RegTreeKeys, KeysNestNoDeeperThanTheRegistryAllows) {
  std::string deep = "HKEY_LOCAL_MACHINE";
  for (int i = 1; i < 20000; ++i) deep += "\\a";
  TRegParseResult parsed = ParseRegFile("REGEDIT4\n\n[" + deep + "]\n\"v\"=\"1\"\n");
  ASSERT_EQ(parsed.Errors.size(), 1u);
  EXPECT_EQ(parsed.Errors[0].Line, 3);
  EXPECT_NE(parsed.Errors[0].Message.find("512"), std::string::npos);
  WriteRegFile(*parsed.Root);

  TRegNode top;
  std::string path = "HKEY_LOCAL_MACHINE";
  for (std::size_t depth = 1; depth < kMaxKeyDepth; ++depth) path += "\\k";
  TRegNode* last = top.Create(path);
  ASSERT_TRUE(last);
  EXPECT_FALSE(last->Create("one more"));
}

}  // namespace
}  // namespace korvel
