#include "app/settings.h"
#include "version.h"
#include "dialogs/dialogs.h"
#include "dialogs/modal.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A dialog created modeless from the program's own template, destroyed with the test.
class TestDialog {
public:
    TestDialog(int id, DLGPROC proc)
        : hwnd_(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, proc, 0))
    {
    }
    ~TestDialog() { if (hwnd_) DestroyWindow(hwnd_); }
    TestDialog(const TestDialog&) = delete;
    TestDialog& operator=(const TestDialog&) = delete;
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_;
};

std::string ClassOf(HWND hwnd)
{
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

std::string TextOf(HWND hwnd)
{
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// The button style of a control, or -1 when it is no button.
LONG ButtonType(HWND dialog, int id)
{
    HWND c = GetDlgItem(dialog, id);
    return c && ClassOf(c) == "Button" ? GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK : -1;
}

// Each control's box in dialog units as the DLGTEMPLATEEX resource holds it (the created
// windows may differ: an icon is drawn at its own size).
std::vector<RECT> ReadTemplate(int id)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(module, res)));
    const auto word = [&p](size_t at) {
        WORD w;
        memcpy(&w, p + at, sizeof w);
        return w;
    };
    const auto box = [&word](size_t at) {
        const auto v = [&](size_t i) { return static_cast<LONG>(static_cast<short>(word(at + 2 * i))); };
        return RECT{v(0), v(1), v(0) + v(2), v(1) + v(3)};
    };
    // A name or an ordinal (0xFFFF and a number); returns the offset after it.
    const auto skipName = [&word](size_t at) {
        if (word(at) == 0xFFFF)
            return at + 4;
        while (word(at) != 0)
            at += 2;
        return at + 2;
    };
    std::vector<RECT> controls;
    size_t at = skipName(skipName(skipName(26)));  // menu, class, caption
    at = skipName(at + 6);                          // point size, weight, italic, charset; face
    for (WORD i = 0, count = word(16); i < count; ++i) {
        at = (at + 3) & ~size_t{3};
        controls.push_back(box(at + 12));  // after help id and styles
        at = skipName(skipName(at + 24));  // after the id: class, text
        at += 2 + word(at);                // creation data
    }
    return controls;
}

// The resource compiler once dropped the size of an ICON statement: each icon control's
// template box keeps the 21 x 20 dialog units the script gives.
void ExpectIconBoxes(HWND dialog, int templateId)
{
    const std::vector<RECT> boxes = ReadTemplate(templateId);
    size_t i = 0;
    int icons = 0;
    for (HWND c = GetWindow(dialog, GW_CHILD); c && i < boxes.size();
         c = GetWindow(c, GW_HWNDNEXT), ++i) {
        if (ClassOf(c) != "Static" || (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            continue;
        ++icons;
        EXPECT_EQ(boxes[i].right - boxes[i].left, 21) << templateId;
        EXPECT_EQ(boxes[i].bottom - boxes[i].top, 20) << templateId;
    }
    EXPECT_EQ(icons, 1) << templateId;
}

// The captions the user finds the dialogs by, and the controls the program reads and writes,
// by id and of the kind it treats them as.
TEST(DialogTemplates, HoldTheControlsTheProgramUses)
{
    AppliState = {0, 0, "C:\\out", 0};
    TestDialog options(IDD_OPTIONS, BoiteOpt);
    ASSERT_NE(options.get(), nullptr);
    EXPECT_EQ(TextOf(options.get()), "Options");
    for (const int id : {IDC_OPT_SOUND, IDC_OPT_AUTOSAVE, IDC_OPT_JPEG, IDC_OPT_PNG, IDC_OPT_HOTKEY,
                         IDC_OPT_MAGNIFIER})
        EXPECT_EQ(ButtonType(options.get(), id), BS_AUTOCHECKBOX) << id;
    for (const int id : {IDC_OPT_OK, IDC_OPT_CANCEL, IDC_OPT_CHANGEDIR})
        EXPECT_EQ(ButtonType(options.get(), id), BS_PUSHBUTTON) << id;
    EXPECT_EQ(ClassOf(GetDlgItem(options.get(), IDC_OPT_FOLDER)), "Edit");
    EXPECT_EQ(TextOf(GetDlgItem(options.get(), IDC_OPT_FOLDER)), "C:\\out");
    ExpectIconBoxes(options.get(), IDD_OPTIONS);

    TestDialog about(IDD_ABOUT, AboutProc);
    ASSERT_NE(about.get(), nullptr);
    EXPECT_EQ(TextOf(about.get()), "About ...");
    EXPECT_EQ(TextOf(GetDlgItem(about.get(), IDC_ABOUT_NAME)), "Grabotine v. " GRABOTINE_VERSION);
    EXPECT_EQ(ButtonType(about.get(), IDC_ABOUT_OK), BS_PUSHBUTTON);
    // Shown above every other window, so a press on the icon finds it.
    EXPECT_TRUE(GetWindowLongA(about.get(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    ExpectIconBoxes(about.get(), IDD_ABOUT);
}

struct CommandCase {
    WORD id;
    bool stores;
    bool closes;
};

class OptionsCommand : public ::testing::TestWithParam<CommandCase> {};

// Every box flipped and a path typed, then one command: only OK stores, and only the boxes.
TEST_P(OptionsCommand, StoresAndClosesAsItShould)
{
    AppliState = {0, 1, "C:\\old", 0};
    TestDialog dialog(IDD_OPTIONS, BoiteOpt);
    HWND hwnd = dialog.get();
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_EQ(IsDlgButtonChecked(hwnd, IDC_OPT_SOUND), 1u);
    EXPECT_EQ(IsDlgButtonChecked(hwnd, IDC_OPT_AUTOSAVE), 0u);
    EXPECT_EQ(IsDlgButtonChecked(hwnd, IDC_OPT_JPEG), 0u);
    CheckDlgButton(hwnd, IDC_OPT_SOUND, BST_UNCHECKED);
    CheckDlgButton(hwnd, IDC_OPT_AUTOSAVE, BST_CHECKED);
    CheckDlgButton(hwnd, IDC_OPT_JPEG, BST_CHECKED);
    SetDlgItemTextA(hwnd, IDC_OPT_FOLDER, "C:\\typed");

    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(GetParam().id, BN_CLICKED), 0);

    const Etat expected = GetParam().stores ? Etat{1, 0, "", 1} : Etat{0, 1, "", 0};
    EXPECT_EQ(AppliState.EtatAutoSave, expected.EtatAutoSave);
    EXPECT_EQ(AppliState.EtatSound, expected.EtatSound);
    EXPECT_EQ(AppliState.extension, expected.extension);
    EXPECT_STREQ(AppliState.szpath, "C:\\old");
    // EndDialog hides the dialog at once.
    EXPECT_EQ(IsWindowVisible(hwnd) == FALSE, GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(Ids, OptionsCommand,
                         ::testing::Values(CommandCase{IDC_OPT_OK, true, true},
                                           CommandCase{IDC_OPT_CANCEL, false, true},
                                           CommandCase{IDOK, false, false},
                                           CommandCase{IDCANCEL, false, false},
                                           CommandCase{0, false, false}));

// The two format boxes, clicked as a user does: one format at a time, PNG stored as 3, and a
// stored value the program does not know kept while neither box changes.
TEST(OptionsFormat, PngAndJpgBoxesExcludeEachOtherAndKeepWhatTheyDoNotShow)
{
    const struct {
        int stored;
        std::vector<int> clicks;
        int jpeg, png, result;
    } cases[] = {
        {3, {}, 0, 1, 3},
        {1, {IDC_OPT_PNG}, 0, 1, 3},
        {3, {IDC_OPT_JPEG}, 1, 0, 1},
        {3, {IDC_OPT_PNG}, 0, 0, 0},
        {2, {}, -1, 0, 2},
        {2, {IDC_OPT_PNG, IDC_OPT_PNG}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        AppliState = {0, 0, "C:\\out", c.stored};
        TestDialog dialog(IDD_OPTIONS, BoiteOpt);
        for (const int id : c.clicks)
            SendDlgItemMessageA(dialog.get(), id, BM_CLICK, 0, 0);
        if (c.jpeg >= 0) {  // -1: whatever the platform shows for a value it does not know
            EXPECT_EQ(IsDlgButtonChecked(dialog.get(), IDC_OPT_JPEG), static_cast<UINT>(c.jpeg));
        }
        EXPECT_EQ(IsDlgButtonChecked(dialog.get(), IDC_OPT_PNG), static_cast<UINT>(c.png));
        SendMessageA(dialog.get(), WM_COMMAND, MAKEWPARAM(IDC_OPT_OK, BN_CLICKED), 0);
        EXPECT_EQ(AppliState.extension, c.result);
    }
}

TEST(PlaceInWorkArea, KeepsTheRelativePlaceWholeOnTheTargetMonitor)
{
    const RECT primary = {0, 0, 1280, 984}, left = {-1920, -56, 0, 1024};  // work areas
    const RECT cases[][4] = {  // window, from, to, placed
        {{100, 50, 400, 250}, primary, primary, {100, 50, 400, 250}},
        {{490, 392, 790, 592}, primary, left, {-1110, 384, -810, 584}},  // centred stays centred
        {{0, 0, 300, 200}, primary, left, {-1920, -56, -1620, 144}},
        {{0, 0, 2000, 1200}, primary, left, {-1920, -56, 80, 1144}},  // too large: corner inside
    };
    for (const auto& c : cases) {
        const RECT r = PlaceInWorkArea(c[0], c[1], c[2]);
        EXPECT_TRUE(EqualRect(&r, &c[3])) << r.left << "," << r.top;
    }
}

// A path is taken only whole, terminator included; otherwise the old one stays untouched and
// nothing past the buffer is written.
TEST(FolderChoice, TakesOnlyPathsThatFitWhole)
{
    const struct {
        size_t length;
        bool taken;
    } cases[] = {{0, true}, {1, true}, {255, true}, {256, false}, {259, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        AppliState = {0, 0, "C:\\old", 7};
        const std::string given(c.length, 'p');
        EXPECT_EQ(SetFolderIfFits(given.c_str()), c.taken);
        EXPECT_STREQ(AppliState.szpath, c.taken ? given.c_str() : "C:\\old");
        EXPECT_EQ(AppliState.extension, 7);
    }
}

}  // namespace
