// Pictures of the three pages as they are on the screen, kept as artifacts of
// the test run, and the colours the pages must have where nothing is drawn.
#include "e2e/E2eTest.h"

#include "res/resource.h"

#include <algorithm>
#include <sstream>

using namespace lumo_e2e;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

std::string ColourText(COLORREF colour)
{
    std::ostringstream text;
    text << "RGB(" << int(GetRValue(colour)) << "," << int(GetGValue(colour)) << "," << int(GetBValue(colour)) << ")";
    return text.str();
}

RECT ScreenRect(HWND hwnd)
{
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    return rect;
}

// One capture of the wizard with the screen point of its top-left corner.
struct Shot {
    Image image;
    POINT origin{};

    COLORREF At(int x, int y) const { return image.Pixel(x - origin.x, y - origin.y); }

    int CountPixels(const RECT& rect, const std::function<bool(COLORREF)>& matches) const
    {
        int count = 0;
        for (int y = rect.top; y < rect.bottom; ++y) {
            for (int x = rect.left; x < rect.right; ++x) {
                const COLORREF colour = At(x, y);
                if (colour != CLR_INVALID && matches(colour))
                    ++count;
            }
        }
        return count;
    }
};

bool IsDark(COLORREF colour)
{
    return GetRValue(colour) < 128 && GetGValue(colour) < 128 && GetBValue(colour) < 128;
}

class ScreenshotE2eTest : public E2eTest {
protected:
    using Drawn = std::pair<HWND, std::function<bool(COLORREF)>>;

    // Captures the wizard once it is painted: each of the given controls has
    // a pixel of the colour its drawing makes (the dark of a text, the fill of
    // the bar) and, when stable is asked for, two pictures in a row are the
    // same, and ready, when given, accepts it. The picture is kept under fileName.
    Shot Capture(const Wizard& wizard, const std::vector<Drawn>& drawn, bool stable, const std::string& fileName,
                 const std::function<bool(const Shot&)>& ready = nullptr)
    {
        Shot shot;
        Shot previous;
        const bool painted = WaitUntil(
            [&] {
                if (!CaptureWindow(wizard.Hwnd(), shot.image, &shot.origin))
                    return false;
                const bool complete = std::all_of(drawn.begin(), drawn.end(), [&](const Drawn& control) {
                    return shot.CountPixels(ScreenRect(control.first), control.second) > 0;
                });
                const bool same = !stable || (previous.image.bgr == shot.image.bgr &&
                                              previous.origin.x == shot.origin.x &&
                                              previous.origin.y == shot.origin.y);
                previous = shot;
                return complete && same && (!ready || ready(shot));
            },
            kStartTimeoutMs, 150);
        EXPECT_TRUE(painted) << fileName << ": the page was never completely painted";
        const std::string path = ScreenshotDir() + "\\" + fileName;
        EXPECT_TRUE(shot.image.SaveBmp(path)) << path;
        return shot;
    }

    static void ExpectColour(const Shot& shot, COLORREF expected, int x, int y, const char* where)
    {
        const COLORREF actual = shot.At(x, y);
        EXPECT_EQ(ColourText(expected), ColourText(actual)) << where << " at screen point " << x << "," << y;
    }

    // Checks a white page: the gap between the side picture and the texts,
    // and the free area below the lowest text, are white; the picture is not.
    static void ExpectWhitePage(const Shot& shot, HWND page, int lowestTextId)
    {
        const RECT pageRect = ScreenRect(page);
        const RECT side = ScreenRect(::GetDlgItem(page, IDC_SIDE_PICTURE));
        const RECT title = ScreenRect(::GetDlgItem(page, IDC_TITLE));
        const RECT lowest = ScreenRect(::GetDlgItem(page, lowestTextId));
        ASSERT_LT(side.right + 2, title.left) << "no gap between the side picture and the texts";
        ASSERT_LT(lowest.bottom + 2, pageRect.bottom) << "no room below the texts";

        const int gapX = (side.right + title.left) / 2;
        ExpectColour(shot, kWhite, gapX, (title.top + title.bottom) / 2, "beside the title");
        ExpectColour(shot, kWhite, gapX, (title.bottom + lowest.bottom) / 2, "beside the texts");
        ExpectColour(shot, kWhite, (title.left + title.right) / 2, (lowest.bottom + pageRect.bottom) / 2,
                     "below the texts");
        ExpectColour(shot, kWhite, title.right - 2, pageRect.bottom - 3, "bottom right of the page");

        const RECT sideInside{ side.left + 1, side.top + 1, side.right - 1, side.bottom - 1 };
        EXPECT_GT(shot.CountPixels(sideInside, [](COLORREF c) { return c != kWhite; }), 0)
            << "the side picture is not drawn";
    }
};

TEST_F(ScreenshotE2eTest, PagesLookAsTheyShould)
{
    auto delivery = std::make_unique<Delivery>();
    delivery->WriteIni(StandardIni());
    // A run long enough to be photographed.
    AddAppFiles(*delivery, 800, 4 * 1024);
    delivery->AddSysFile(Unique() + "_sys.txt", "not a component");

    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";

    {
        SCOPED_TRACE("welcome page");
        HWND page = wizard.WelcomePage();
        ASSERT_NE(nullptr, page);
        const Shot shot = Capture(wizard,
                                  { { ::GetDlgItem(page, IDC_TITLE), IsDark },
                                    { ::GetDlgItem(page, IDC_TEXT), IsDark },
                                    { ::GetDlgItem(page, IDC_ADVICE), IsDark },
                                    { ::GetDlgItem(page, IDC_LOGO), IsDark },
                                    { wizard.Button(IDC_NEXT), IsDark },
                                    { wizard.Button(IDCANCEL), IsDark } },
                                  true, "welcome.bmp");
        ExpectWhitePage(shot, page, IDC_ADVICE);
    }

    {
        SCOPED_TRACE("progress page");
        PostClick(wizard.Hwnd(), IDC_NEXT);
        HWND page = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] {
                page = wizard.ProgressPage();
                return page != nullptr && ::IsWindowVisible(page) &&
                       !Wizard::ItemText(page, IDC_STATUS_LINE).empty();
            },
            kStartTimeoutMs, 10))
            << "no progress page";
        HWND status = ::GetDlgItem(page, IDC_STATUS_LINE);
        HWND barControl = ::GetDlgItem(page, IDC_PROGRESS_BAR);
        EXPECT_TRUE(::IsWindowVisible(barControl)) << "the progress bar is hidden";
        const COLORREF face = ::GetSysColor(COLOR_3DFACE);
        ASSERT_NE(ColourText(kWhite), ColourText(face)) << "the system dialog colour is white here";
        // Few files are announced, so the bar is soon full of its fill colour.
        const auto isFill = [face](COLORREF c) { return c != face && c != RGB(0, 0, 0) && c != kWhite; };
        const RECT pageRect = ScreenRect(page);
        const RECT bar = ScreenRect(barControl);
        const POINT below{ (bar.left + bar.right) / 2, (bar.bottom + pageRect.bottom) / 2 };
        const POINT left{ (pageRect.left + bar.left) / 2, (bar.top + bar.bottom) / 2 };
        // The run changes the page all the time; it need not stand still. The
        // controls repaint at once while the page behind them is painted when
        // the queue is next idle, so a picture between the two still shows
        // the welcome page there: wait for the page's own colour, and fail
        // only if the run ends without it.
        const Shot shot = Capture(wizard, { { status, IsDark }, { barControl, isFill } }, false, "progress.bmp",
                                  [&](const Shot& s) {
                                      return (s.At(below.x, below.y) == face && s.At(left.x, left.y) == face) ||
                                             wizard.CompletionPage() != nullptr;
                                  });
        ASSERT_TRUE(::IsWindowVisible(page) && wizard.CompletionPage() == nullptr)
            << "the run ended before the picture was taken";

        ExpectColour(shot, face, below.x, below.y, "below the bar");
        ExpectColour(shot, face, left.x, left.y, "left of the bar");
    }

    {
        SCOPED_TRACE("completion page");
        HWND page = WaitForCompletion(wizard);
        ASSERT_NE(nullptr, page) << "no completion page";
        const Shot shot = Capture(wizard,
                                  { { ::GetDlgItem(page, IDC_TITLE), IsDark },
                                    { ::GetDlgItem(page, IDC_TEXT), IsDark },
                                    { ::GetDlgItem(page, IDC_LOGO), IsDark },
                                    { wizard.Button(IDCANCEL), IsDark } },
                                  true, "completion.bmp");
        ExpectWhitePage(shot, page, IDC_TEXT);
    }

    PostClick(wizard.Hwnd(), IDCANCEL);
    EXPECT_TRUE(process->WaitExit(kExitTimeoutMs));
}

} // namespace
