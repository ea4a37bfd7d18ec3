// The shell link on the Desktop: where it goes and how it is made.
#include "setup/shortcut.h"
#include "core/constants.h"
#include "tests/fake/fake_test.h"

#include <cstddef>
#include <string>
#include <vector>

namespace {

const std::wstring kLink = std::wstring(fake::kDesktop) + L"\\KORVELA ERP.lnk";
const std::wstring kTarget = std::wstring(fake::kLocalAppData) + L"\\KORVELA ERP\\KORVELA ERP.exe";
const std::wstring kWorkingDir = std::wstring(fake::kLocalAppData) + L"\\KORVELA ERP";
const wchar_t kDescription[] = L"打开 KORVELA ERP";

// A folder path of exactly `length` units on drive D.
std::wstring folder_of_length(size_t length) { return L"D:\\" + std::wstring(length - 3, L'f'); }

// create_shortcut needs an apartment on the calling thread; the fixture checks
// that every apartment opened is closed again, so each test pairs the two.
class Apartment {
 public:
  Apartment() { EXPECT_EQ(win::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
  ~Apartment() { win::CoUninitialize(); }
};

bool create_desktop_shortcut() {
  return create_shortcut(FOLDERID_Desktop, kTarget.c_str(), kWorkingDir.c_str());
}

// ---- shortcut_path ----------------------------------------------------------

using ShortcutPath = FakeWindowsTest;

TEST_F(ShortcutPath, IsTheLinkNameDirectlyInTheFolder) {
  wchar_t out[PATH_CAPACITY];
  ASSERT_TRUE(shortcut_path(FOLDERID_Desktop, out));
  EXPECT_EQ(std::wstring(out), kLink);
  expect_no_problems();
}

TEST_F(ShortcutPath, FolderLengthDecidesWhetherThePathFits) {
  struct Case {
    const char* name;
    size_t folder_length;
    bool fits;
  };
  const Case cases[] = {
      {"1007 units: the path is 1023 units", 1007, true},
      {"1008 units: the path would be 1024 units", 1008, false},
      {"1024 units: the folder itself does not fit", 1024, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    const std::wstring folder = folder_of_length(c.folder_length);
    fake::set_known_folder(FOLDERID_Desktop, folder);
    wchar_t out[PATH_CAPACITY];
    EXPECT_EQ(shortcut_path(FOLDERID_Desktop, out), c.fits);
    if (c.fits) {
      const std::wstring path(out);
      EXPECT_EQ(path.size(), 1023u);
      EXPECT_EQ(path, folder + L"\\KORVELA ERP.lnk");
    }
    expect_no_problems();
  }
}

TEST_F(ShortcutPath, TooLongFolderMakesNoComObject) {
  for (size_t length : {size_t{1008}, size_t{1024}}) {
    SCOPED_TRACE(length);
    fake::reset();
    {
      Apartment apartment;
      fake::set_known_folder(FOLDERID_Desktop, folder_of_length(length));
      EXPECT_FALSE(create_desktop_shortcut());
      EXPECT_EQ(fake::find_call("CoCreateInstance"), -1);
      EXPECT_TRUE(fake::saves().empty());
    }
    expect_no_problems();
  }
}

TEST_F(ShortcutPath, MissingFolderIsCreated) {
  fake::remove(fake::kDesktop);
  ASSERT_FALSE(fake::is_dir(fake::kDesktop));
  wchar_t out[PATH_CAPACITY];
  ASSERT_TRUE(shortcut_path(FOLDERID_Desktop, out));
  EXPECT_EQ(std::wstring(out), kLink);
  EXPECT_TRUE(fake::is_dir(fake::kDesktop));
  expect_no_problems();
}

TEST_F(ShortcutPath, FailingLookupIsFalseAndFreesTheBlock) {
  struct Case {
    const char* name;
    HRESULT result;
    bool hand_back_block;
  };
  const Case cases[] = {
      {"failure with a block", E_FAIL, true},
      {"failure without a block", E_FAIL, false},
      {"success without a block", S_OK, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    fake::set_known_folder_answer(FOLDERID_Desktop, c.result, c.hand_back_block);
    wchar_t out[PATH_CAPACITY];
    EXPECT_FALSE(shortcut_path(FOLDERID_Desktop, out));
    expect_no_problems();
  }
}

// ---- create_shortcut --------------------------------------------------------

using CreateShortcut = FakeWindowsTest;

TEST_F(CreateShortcut, SavesOneCompleteLinkOnTheDesktop) {
  {
    Apartment apartment;
    ASSERT_TRUE(create_desktop_shortcut());
  }
  ASSERT_EQ(fake::saves().size(), 1u);
  const fake::Save& save = fake::saves()[0];
  EXPECT_EQ(save.file, kLink);
  EXPECT_EQ(save.remember, TRUE);
  EXPECT_EQ(save.link.setters,
            (std::vector<std::string>{"SetPath", "SetWorkingDirectory", "SetDescription",
                                      "SetIconLocation"}));
  EXPECT_EQ(save.link.path, kTarget);
  EXPECT_EQ(save.link.working_dir, kWorkingDir);
  EXPECT_EQ(save.link.description, kDescription);
  EXPECT_EQ(save.link.icon_path, kTarget);
  EXPECT_EQ(save.link.icon_index, 0);
  EXPECT_EQ(fake::last_cocreate_context(), static_cast<DWORD>(CLSCTX_INPROC_SERVER));
  EXPECT_TRUE(fake::is_file(kLink));
  EXPECT_EQ(fake::node(kLink)->content, fake::link_content(save.link));
  expect_no_problems();
}

TEST_F(CreateShortcut, WithoutComIsFalseAfterLookingUpTheFolder) {
  EXPECT_FALSE(create_desktop_shortcut());
  EXPECT_TRUE(fake::saves().empty());
  EXPECT_FALSE(fake::is_file(kLink));
  const int lookup = fake::find_call("SHGetKnownFolderPath", L"Desktop");
  const int create = fake::find_call("CoCreateInstance");
  EXPECT_NE(lookup, -1);
  EXPECT_NE(create, -1);
  EXPECT_LT(lookup, create);
  expect_no_problems();
}

TEST_F(CreateShortcut, FailingSetterEndsTheRoadUnsaved) {
  const std::vector<std::string> setters = {"SetPath", "SetWorkingDirectory", "SetDescription",
                                            "SetIconLocation"};
  for (size_t failing = 0; failing < setters.size(); ++failing) {
    SCOPED_TRACE(setters[failing]);
    fake::reset();
    {
      Apartment apartment;
      fake::fail("IShellLinkW::" + setters[failing], E_FAIL);
      EXPECT_FALSE(create_desktop_shortcut());
    }
    EXPECT_TRUE(fake::saves().empty());
    EXPECT_FALSE(fake::is_file(kLink));
    for (size_t i = 0; i < setters.size(); ++i) {
      SCOPED_TRACE(setters[i]);
      EXPECT_EQ(count_calls("IShellLinkW::" + setters[i]), i <= failing ? 1 : 0);
    }
    EXPECT_EQ(fake::find_call("IShellLinkW::QueryInterface"), -1);
    expect_no_problems();
  }
}

TEST_F(CreateShortcut, FailingQueryInterfaceIsFalseWithoutLeak) {
  for (bool hands_back : {false, true}) {
    SCOPED_TRACE(hands_back ? "a pointer handed back" : "null handed back");
    fake::reset();
    fake::set_failed_query_hands_back_object(hands_back);
    {
      Apartment apartment;
      fake::fail("IShellLinkW::QueryInterface", E_NOINTERFACE);
      EXPECT_FALSE(create_desktop_shortcut());
    }
    EXPECT_TRUE(fake::saves().empty());
    EXPECT_EQ(fake::find_call("IPersistFile::Save"), -1);
    expect_no_problems();
  }
}

TEST_F(CreateShortcut, FailingSaveIsFalse) {
  {
    Apartment apartment;
    fake::fail("IPersistFile::Save", E_ACCESSDENIED);
    EXPECT_FALSE(create_desktop_shortcut());
  }
  EXPECT_TRUE(fake::saves().empty());
  EXPECT_FALSE(fake::is_file(kLink));
  expect_no_problems();
}

TEST_F(CreateShortcut, ReplacesAnEarlierShortcut) {
  fake::add_file(kLink, "old link");
  {
    Apartment apartment;
    ASSERT_TRUE(create_desktop_shortcut());
  }
  ASSERT_EQ(fake::saves().size(), 1u);
  const std::vector<std::wstring> desktop = fake::tree(fake::kDesktop);
  EXPECT_EQ(desktop, (std::vector<std::wstring>{fake::kDesktop, kLink}));
  EXPECT_EQ(fake::node(kLink)->content, fake::link_content(fake::saves()[0].link));
  expect_no_problems();
}

TEST_F(CreateShortcut, MissingDesktopIsCreatedAndTheLinkSaved) {
  fake::remove(fake::kDesktop);
  {
    Apartment apartment;
    ASSERT_TRUE(create_desktop_shortcut());
  }
  EXPECT_TRUE(fake::is_dir(fake::kDesktop));
  ASSERT_EQ(fake::saves().size(), 1u);
  EXPECT_EQ(fake::saves()[0].file, kLink);
  EXPECT_TRUE(fake::is_file(kLink));
  expect_no_problems();
}

// Each call of a Desktop shortcut made to fail alone: each one is needed for
// the link, so each failure is false with nothing saved and every object
// released.
TEST_F(CreateShortcut, EachFailingCallEndsAsItsOracleRowSays) {
  const std::vector<OracleRow> oracle = {
      {"", L"", 1, true, {}, "link, saved"},
      {"SHGetKnownFolderPath", L"Desktop", 1, false, {}, "no link"},
      {"StringCchVPrintfW", L"%ls\\%ls", 1, false, {}, "no link"},
      {"CoCreateInstance", L"ShellLink IShellLinkW context=1", 1, false, {}, "no link"},
      {"IShellLinkW::SetPath", kTarget, 1, false, {}, "no link"},
      {"IShellLinkW::SetWorkingDirectory", kWorkingDir, 1, false, {}, "no link"},
      {"IShellLinkW::SetDescription", kDescription, 1, false, {}, "no link"},
      {"IShellLinkW::SetIconLocation", kTarget + L",0", 1, false, {}, "no link"},
      {"IShellLinkW::QueryInterface", L"IPersistFile", 1, false, {}, "no link"},
      {"IPersistFile::Save", kLink, 1, false, {}, "no link"},
  };
  sweep_against(oracle,
                {// The apartment is the caller's: opened before the run, closed
                 // as its last call (CoUninitialize cannot fail).
                 [] { EXPECT_EQ(win::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); },
                 [] {
                   const bool saved = create_desktop_shortcut();
                   win::CoUninitialize();
                   return saved ? 1 : 0;
                 },
                 [] {
                   std::string left = fake::is_file(kLink) ? "link" : "no link";
                   return fake::saves().empty() ? left : left + ", saved";
                 }});
}

}  // namespace
