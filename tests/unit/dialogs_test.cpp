#include "win/scoped_win.h"
#include "app/settings.h"
#include "dialogs/dialogs.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cstdio>
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

enum Kind { Icon, Text, CentredText, CheckBox, Button, Edit };

struct Control {
    int id;
    Kind kind;
    const char* text;
    bool tabStop;
    RECT dlu;  // left, top, right, bottom in dialog units
};

constexpr RECT Box(LONG x, LONG y, LONG w, LONG h) { return {x, y, x + w, y + h}; }

const Control kOptions[] = {
    {-1, Icon, nullptr, false, Box(8, 12, 21, 20)},
    {101, CheckBox, "Sound Enable", true, Box(36, 12, 76, 9)},
    {102, CheckBox, "Auto Save Enable", true, Box(36, 26, 76, 9)},
    {-1, Text, "Save as:", false, Box(2, 43, 40, 16)},
    {103, CheckBox, "BMP (unchecked) /JPG (checked)", true, Box(36, 39, 132, 17)},
    {100, Button, "OK", true, Box(28, 109, 50, 14)},
    {110, Button, "Cancel", true, Box(88, 109, 50, 14)},
    {104, Button, "Change output directory", true, Box(4, 80, 84, 16)},
    {-1, Text, "Output directory:", false, Box(2, 56, 58, 12)},
    {105, Edit, nullptr, true, Box(4, 64, 156, 13)},
};

const Control kAbout[] = {
    {100, Button, "&OK", false, Box(48, 36, 32, 14)},
    {-1, Icon, nullptr, false, Box(8, 12, 21, 20)},
    {10, CentredText, "Grabotine v. 1.21", false, Box(32, 4, 88, 16)},
    {-1, CentredText, nullptr, false, Box(32, 20, 88, 16)},
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

bool KindMatches(Kind kind, HWND c)
{
    const std::string cls = ClassOf(c);
    const LONG style = GetWindowLongA(c, GWL_STYLE);
    switch (kind) {
    case Icon: return cls == "Static" && (style & SS_TYPEMASK) == SS_ICON;
    case Text: return cls == "Static" && (style & SS_TYPEMASK) == SS_LEFT;
    case CentredText: return cls == "Static" && (style & SS_TYPEMASK) == SS_CENTER;
    case CheckBox: return cls == "Button" && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
    case Button:
        // A plain push button: none of them is the default one.
        return cls == "Button" && (style & BS_TYPEMASK) == BS_PUSHBUTTON &&
               (style & BS_CENTER) == BS_CENTER;
    case Edit:
        // A three-dimensional dialog turns the border into a sunken edge.
        return cls == "Edit" && !(style & ES_READONLY) &&
               ((style & WS_BORDER) || (GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    }
    return false;
}

// What a DLGTEMPLATEEX resource itself holds: the dialog's x and y and each control's box in
// dialog units (the created windows may differ: an icon is drawn at its own size).
struct TemplateBoxes {
    POINT place;
    std::vector<RECT> controls;
};

TemplateBoxes ReadTemplate(int id)
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
    TemplateBoxes t = {};
    const RECT frame = box(18);  // after version, signature, help id, styles and count
    t.place = {frame.left, frame.top};
    size_t at = skipName(skipName(skipName(26)));  // menu, class, caption
    at = skipName(at + 6);                          // point size, weight, italic, charset; face
    for (WORD i = 0, count = word(16); i < count; ++i) {
        at = (at + 3) & ~size_t{3};
        t.controls.push_back(box(at + 12));  // after help id and styles
        at = skipName(skipName(at + 24));    // after the id: class, text
        at += 2 + word(at);                  // creation data
    }
    return t;
}

// Controls in creation (tab) order, with kind, id, text, tab stop, place and size, as the
// template holds them and as the dialog shows them.
template <size_t N>
void ExpectControls(HWND dialog, int templateId, const Control (&expected)[N])
{
    const std::vector<RECT> boxes = ReadTemplate(templateId).controls;
    ASSERT_EQ(boxes.size(), N);
    std::vector<HWND> children;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    ASSERT_EQ(children.size(), N);
    for (size_t i = 0; i < N; ++i) {
        const Control& want = expected[i];
        HWND c = children[i];
        SCOPED_TRACE("control " + std::to_string(i) + " " + (want.text ? want.text : ""));
        EXPECT_TRUE(EqualRect(&boxes[i], &want.dlu));
        const LONG style = GetWindowLongA(c, GWL_STYLE);
        EXPECT_EQ(GetDlgCtrlID(c), want.id);
        EXPECT_TRUE(KindMatches(want.kind, c)) << ClassOf(c) << " " << style;
        EXPECT_EQ((style & WS_TABSTOP) != 0, want.tabStop);
        if (want.text) {
            EXPECT_EQ(TextOf(c), want.text);
        }

        // Place and size are each mapped from dialog units, as the dialog manager does.
        RECT place = {want.dlu.left, want.dlu.top, 0, 0};
        RECT size = {0, 0, want.dlu.right - want.dlu.left, want.dlu.bottom - want.dlu.top};
        MapDialogRect(dialog, &place);
        MapDialogRect(dialog, &size);
        RECT actual = {};
        GetWindowRect(c, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, place.left);
        EXPECT_EQ(actual.top, place.top);
        // An icon is drawn at its own size, whatever the template says.
        const bool icon = want.kind == Icon;
        EXPECT_EQ(actual.right - actual.left, icon ? GetSystemMetrics(SM_CXICON) : size.right);
        EXPECT_EQ(actual.bottom - actual.top, icon ? GetSystemMetrics(SM_CYICON) : size.bottom);
    }
}

// Caption, client size in dialog units, style bits, and the 8-point MS Sans Serif font.
void ExpectFrame(HWND dialog, const char* caption, LONG cx, LONG cy, LONG style, LONG exStyle)
{
    EXPECT_EQ(TextOf(dialog), caption);
    RECT size = {0, 0, cx, cy};
    MapDialogRect(dialog, &size);
    RECT client = {};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) & style, style);
    EXPECT_EQ(GetWindowLongA(dialog, GWL_EXSTYLE) & exStyle, exStyle);

    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    ScopedGetDC screen(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen.get(), LOGPIXELSY), 72));
}

TEST(DialogTemplates, OptionsMatchesTheLayout)
{
    AppliState = {0, 0, "C:\\out", 0};
    TestDialog dialog(IDD_OPTIONS, BoiteOpt);
    ASSERT_NE(dialog.get(), nullptr);
    ExpectFrame(dialog.get(), "Options", 165, 128,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK, WS_EX_CONTEXTHELP);
    const POINT place = ReadTemplate(IDD_OPTIONS).place;
    EXPECT_EQ(place.x, -1);
    EXPECT_EQ(place.y, -2);
    ExpectControls(dialog.get(), IDD_OPTIONS, kOptions);
}

TEST(DialogTemplates, AboutMatchesTheLayout)
{
    TestDialog dialog(IDD_ABOUT, AboutProc);
    ASSERT_NE(dialog.get(), nullptr);
    ExpectFrame(dialog.get(), "About ...", 128, 56,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER, WS_EX_TOPMOST);
    ExpectControls(dialog.get(), IDD_ABOUT, kAbout);
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
