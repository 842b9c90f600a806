// Files replaced whole while people work: a run killed in the middle of a
// large copy, a component loaded by another program, a file held open without
// delete sharing (each replaced and registered, the rest left to Wine's
// restart, "wineboot -r"), and the end of the session refused during a run.
#include "e2e/E2eTest.h"
#include "e2e/MachineState.h"

#include "components/Components.h"
#include "engine/FileReplace.h"
#include "framework/Text.h"
#include "res/resource.h"

#include <shlobj.h>

#include <algorithm>
#include <random>

using namespace lumo_e2e;
using lumo_test::FileExists;
using lumo_test::ReadFileBytes;
namespace component = lumo_test::component;

namespace {

LONGLONG FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Bytes followed by zeros up to size: quick to make, as long to copy as any data.
void MakeLargeFile(const std::string& path, const std::string& head, LONGLONG size)
{
    lumo_test::WriteFileBytes(path, head);
    HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER end{};
    end.QuadPart = size;
    EXPECT_TRUE(::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file));
    ::CloseHandle(file);
}

// The same bytes, compared without holding two large files in memory.
bool SameBytes(const std::string& a, const std::string& b)
{
    FILE* first = ::_wfopen(Wide(a).c_str(), L"rb");
    FILE* second = ::_wfopen(Wide(b).c_str(), L"rb");
    bool same = first != nullptr && second != nullptr;
    std::vector<char> x(1 << 20), y(1 << 20);
    while (same) {
        const size_t got = std::fread(x.data(), 1, x.size(), first);
        same = std::fread(y.data(), 1, y.size(), second) == got &&
               std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(got), y.begin());
        if (got < x.size())
            break;
    }
    if (first != nullptr)
        std::fclose(first);
    if (second != nullptr)
        std::fclose(second);
    return same;
}

// A named event of the test's, set when it goes so that nothing waits on it
// for ever.
struct SetOnEnd {
    HANDLE handle;
    explicit SetOnEnd(const char* name) : handle(::CreateEventA(nullptr, TRUE, FALSE, name)) {}
    ~SetOnEnd()
    {
        ::SetEvent(handle);
        ::CloseHandle(handle);
    }
    SetOnEnd(const SetOnEnd&) = delete;
    SetOnEnd& operator=(const SetOnEnd&) = delete;
};

class ReplaceE2eTest : public E2eTest {
protected:
    void TearDown() override
    {
        for (const std::string& path : removeAfter_) {
            lumo_test::RemoveTree(path);
            ::DeleteFileW(Wide(path).c_str());
        }
        E2eTest::TearDown();
    }

    // Files and folders the test leaves on the machine, removed at its end.
    void RemoveAfter(const std::string& path) { removeAfter_.push_back(path); }

    // A delivery with the usual description file and nothing in it yet.
    std::unique_ptr<Delivery> EmptyDelivery(const std::string& sysFileLines = "")
    {
        auto delivery = std::make_unique<Delivery>();
        delivery->WriteIni(StandardIni() + "[SYSFILE]\r\n" + sysFileLines);
        delivery->MakeTrees();
        return delivery;
    }

    // A component of the system folder and its place there.
    std::string SystemTarget(const std::string& stem)
    {
        const std::string path = SystemFolder() + "\\" + Unique() + "_" + stem + ".dll";
        RemoveAfter(path);
        RemoveAfter(WaitingPath(path));
        RemoveAfter(AsidePath(path));
        return path;
    }

    // Starts a silent run and kills it at a random point while it writes the
    // new file beside the target, before that file is whole.
    void KillDuringTheCopy(const Delivery& delivery, const std::string& target, LONGLONG newSize)
    {
        Process& run = Start(delivery, "/S");
        const std::string temp = ReplacementTempPath(target);
        const DWORD deadline = ::GetTickCount() + kRunTimeoutMs;
        LONGLONG written = -1;
        while (::GetTickCount() < deadline && run.Running()) {
            written = FileSize(temp);
            if (written > 0 && written < newSize)
                break;
            ::Sleep(1);
        }
        ASSERT_TRUE(written > 0 && written < newSize) << "the copy was never seen under way (" << written << " bytes)";
        std::mt19937 random(std::random_device{}());
        ::Sleep(std::uniform_int_distribution<DWORD>(0, 30)(random));
        run.Kill();
    }

private:
    std::vector<std::string> removeAfter_;
};

// Killed in the middle of copying a large file over an older one, in either
// pass: the target is the old file or the new one, byte for byte, never a
// part of either; the next run completes the installation.
TEST_F(ReplaceE2eTest, ARunKilledDuringALargeCopyLeavesTheTargetWhole)
{
    constexpr LONGLONG kLarge = 768LL << 20;
    lumo_test::TempDir sources("lumo-large");
    for (const bool system : { false, true }) {
        SCOPED_TRACE(system ? "system-file pass" : "application-file pass");
        auto delivery = EmptyDelivery();
        const std::string name = Unique() + (system ? "_grande.dll" : "_grande.dat");
        const std::string target = system ? SystemTarget("grande") : AppTargetFolder() + "\\" + name;
        RemoveAfter(target);
        RemoveAfter(ReplacementTempPath(target).substr(0, ReplacementTempPath(target).rfind('\\')));
        const std::string before = sources / (system ? "before.dll" : "before.dat");
        const std::string after = sources / (system ? "after.dll" : "after.dat");
        if (system) {
            // A newer component with a long tail of data after its image.
            lumo_test::CopyComponent(component::kVer1_2_3_4, before);
            MakeLargeFile(after, ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)), kLarge);
        } else {
            lumo_test::WriteFileBytes(before, "la versione precedente");
            MakeLargeFile(after, "la versione nuova", kLarge);
        }
        ::SHCreateDirectoryExW(nullptr, Wide(target.substr(0, target.rfind('\\'))).c_str(), nullptr);
        ASSERT_TRUE(::CopyFileW(Wide(before).c_str(), Wide(target).c_str(), FALSE));
        const std::string inDelivery = delivery->Folder() + (system ? "\\SysFile\\" : "\\FilesToCopy\\") + name;
        ASSERT_TRUE(::CopyFileW(Wide(after).c_str(), Wide(inDelivery).c_str(), FALSE));

        KillDuringTheCopy(*delivery, target, kLarge);
        EXPECT_TRUE(SameBytes(before, target) || SameBytes(after, target))
            << "the target is neither the old file nor the new one";

        const RunResult again = RunWithoutWindow(*delivery, "/S");
        EXPECT_TRUE(again.Clean()) << "exit code " << again.exitCode;
        EXPECT_TRUE(SameBytes(after, target)) << "the next run did not complete the installation";
        const std::string temp = ReplacementTempPath(target);
        EXPECT_FALSE(lumo_test::DirectoryExists(temp.substr(0, temp.rfind('\\'))))
            << "what the killed run left beside the target is still there";
        if (system) {
            EXPECT_EQ(1u, lumo_test::RegistrationCount(target));
        }
        lumo_test::RemoveTree(delivery->Folder());
    }
}

// A program holds the old component loaded: the new one takes its place and
// is registered; the old file, set aside, goes at the restart. Exit 3010.
TEST_F(ReplaceE2eTest, AComponentLoadedElsewhereIsReplacedRegisteredAndGoesAtRestart)
{
    const std::string target = SystemTarget("caricato");
    lumo_test::CopyComponent(component::kVer1_2_3_4, target);
    auto delivery = EmptyDelivery();
    delivery->AddSysFile(Unique() + "_caricato.dll", ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)));

    const HMODULE loaded = ::LoadLibraryW(Wide(target).c_str());
    ASSERT_NE(nullptr, loaded);
    const RunResult result = RunWithoutWindow(*delivery, "/S");
    ::FreeLibrary(loaded);

    EXPECT_TRUE(result.ended);
    EXPECT_EQ(kRestartNeeded, result.exitCode);
    EXPECT_TRUE(ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)) == ReadFileBytes(target))
        << "the target is not " << component::kVer2_0_0_0;
    EXPECT_EQ(1u, lumo_test::RegistrationCount(target));
    const std::vector<std::string> log = LogMessages();
    const std::vector<std::string> expected = {
        "  Copiato il file: " + target,
        "  IL FILE: " + target +
            " ERA IN USO: E' STATO SOSTITUITO, LA VERSIONE PRECEDENTE SARA' ELIMINATA AL RIAVVIO DEL COMPUTER",
        "  FILE: " + target + " REGISTRATO CORRETTAMENTE",
    };
    EXPECT_NE(log.end(), std::search(log.begin(), log.end(), expected.begin(), expected.end()));

    const std::string aside = AsidePath(target);
    EXPECT_TRUE(FileExists(aside));
    RestartWine();
    EXPECT_FALSE(FileExists(aside)) << "the old file is still there after the restart";
    EXPECT_TRUE(ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)) == ReadFileBytes(target))
        << "the target is not " << component::kVer2_0_0_0;
}

// Held open without delete sharing, the target cannot even be renamed: the
// new file waits beside it and replaces it at the restart, and then the
// registrar of the machine registers it. Exit 3010.
TEST_F(ReplaceE2eTest, AFileHeldOpenIsReplacedAndRegisteredAtRestart)
{
    const std::string target = SystemTarget("aperto");
    lumo_test::CopyComponent(component::kVer1_2_3_4, target);
    auto delivery = EmptyDelivery(Unique() + "_aperto.dll=SYSPATH|REG\r\n");
    delivery->AddSysFile(Unique() + "_aperto.dll", ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)));

    const HANDLE held = ::CreateFileW(Wide(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const RunResult result = RunWithoutWindow(*delivery, "/S");
    ::CloseHandle(held);

    EXPECT_TRUE(result.ended);
    EXPECT_EQ(kRestartNeeded, result.exitCode);
    EXPECT_TRUE(ReadFileBytes(lumo_test::ComponentPath(component::kVer1_2_3_4)) == ReadFileBytes(target))
        << "the target is not " << component::kVer1_2_3_4;
    EXPECT_EQ(0u, lumo_test::RegistrationCount(target)) << "the old file was registered";
    const std::vector<std::string> log = LogMessages();
    const std::vector<std::string> expected = {
        "  Copiato il file: " + target,
        "  IL FILE: " + target + " E' IN USO: LA NUOVA VERSIONE LO SOSTITUIRA' AL RIAVVIO DEL COMPUTER",
        "  IL FILE: " + target + " SARA' REGISTRATO AL RIAVVIO DEL COMPUTER",
    };
    EXPECT_NE(log.end(), std::search(log.begin(), log.end(), expected.begin(), expected.end()));

    RestartWine();
    EXPECT_TRUE(ReadFileBytes(lumo_test::ComponentPath(component::kVer2_0_0_0)) == ReadFileBytes(target))
        << "the target is not " << component::kVer2_0_0_0;
    EXPECT_FALSE(FileExists(WaitingPath(target)));
    EXPECT_EQ(1u, lumo_test::RegistrationCount(target)) << "not registered at the restart";
}

// A component's DllRegisterServer may take long, and it runs on the window's
// thread: the status line shows that component for all that time, not what
// the repaint limit held back, even when its folder's name has an ampersand.
TEST_F(ReplaceE2eTest, TheStatusShowsTheComponentWhileItRegisters)
{
    const SetOnEnd entered(component::kEnteredEvent);
    const SetOnEnd release(component::kReleaseEvent);
    auto delivery = EmptyDelivery();
    const std::string folder = SystemFolder() + "\\R&D_" + Unique();
    const std::string name = Unique() + "_attesa.dll";
    delivery->AddSysFile("R&D_" + Unique() + "\\" + name,
                         ReadFileBytes(lumo_test::ComponentPath(component::kRegisterWaits)));
    RemoveAfter(folder);

    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";
    PostClick(wizard.Hwnd(), IDC_NEXT);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.handle, kRunTimeoutMs)) << "the registration never began";
    // Read from the text the system keeps: the window's thread is busy.
    EXPECT_EQ("Analizza " + folder + "\\" + name, Wizard::ItemText(wizard.ProgressPage(), IDC_STATUS_LINE));
    ::SetEvent(release.handle);
    ASSERT_NE(nullptr, WaitForCompletion(wizard));
    FinishWithoutQuestion(*process, wizard);
    EXPECT_EQ(kSuccess, ExitCodeOf(*process));
    lumo_test::RemoveSharedCount(folder + "\\" + name);
}

// While a run is held inside a registration, the wizard refuses the end of
// the session; before the run it lets the session end.
TEST_F(ReplaceE2eTest, TheWizardRefusesTheEndOfTheSessionDuringARun)
{
    const SetOnEnd entered(component::kEnteredEvent);
    const SetOnEnd release(component::kReleaseEvent);
    auto delivery = EmptyDelivery();
    const std::string waiting = SystemTarget("attesa");
    delivery->AddSysFile(Unique() + "_attesa.dll", ReadFileBytes(lumo_test::ComponentPath(component::kRegisterWaits)));

    Process* process = nullptr;
    const Wizard wizard = StartWizard(process, *delivery);
    ASSERT_TRUE(wizard) << "no wizard";
    DWORD_PTR answer = 0;
    ASSERT_NE(0, ::SendMessageTimeoutW(wizard.Hwnd(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, kRunTimeoutMs, &answer));
    EXPECT_NE(0u, answer) << "the session was refused before any run";

    PostClick(wizard.Hwnd(), IDC_NEXT);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.handle, kRunTimeoutMs)) << "the run never got going";
    // Asked while the run is held: the question is in the window's queue
    // before the run goes on, and the window answers as soon as the run lets
    // it handle messages again, the run still going.
    struct Reply {
        bool came = false;
        LRESULT answer = -1;
    } reply;
    struct Noted {
        static void CALLBACK Answer(HWND, UINT, ULONG_PTR data, LRESULT result)
        {
            auto* to = reinterpret_cast<Reply*>(data);
            to->came = true;
            to->answer = result;
        }
    };
    ASSERT_TRUE(::SendMessageCallbackW(wizard.Hwnd(), WM_QUERYENDSESSION, 0, 0, &Noted::Answer,
                                       reinterpret_cast<ULONG_PTR>(&reply)));
    ::SetEvent(release.handle);
    // The answer is handed to this thread while it looks at its queue.
    EXPECT_TRUE(WaitUntil(
        [&] {
            MSG msg{};
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
            return reply.came;
        },
        kRunTimeoutMs));
    EXPECT_EQ(0, reply.answer) << "the session was allowed to end during the run";
    ASSERT_NE(nullptr, WaitForCompletion(wizard));
    FinishWithoutQuestion(*process, wizard);
    EXPECT_EQ(kSuccess, ExitCodeOf(*process));
    EXPECT_EQ(1u, lumo_test::RegistrationCount(waiting));
}

} // namespace
