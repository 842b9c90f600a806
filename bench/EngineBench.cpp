// Times the two installation passes against a plain recursive CopyFileA of the
// same trees, on generated data: many application files of mixed sizes over a
// few subfolders, and versioned system files (copies of one component), some
// registered. It also times the whole unattended installation (LumoInstall.exe
// /S) of a delivery made of the same trees, and measures how long the
// window leaves a message unanswered while one multi-gigabyte file is copied.
// With --profile it also times the pieces a pass is made of.
//
// A registered component stays loaded, and every module loaded makes the next
// load dearer, so each round runs in a process of its own, as each
// installation does.
//
// Usage: engine_bench [--work FOLDER] [--files N] [--megabytes M] [--sysfiles N]
//                     [--rounds N] [--component PATH] [--installer PATH]
//                     [--big-megabytes M] [--profile]
#include "TestSupport.h"
#include "app/InstallerApp.h"
#include "engine/Folders.h"
#include "engine/Installation.h"
#include "framework/Dialog.h"
#include "pages/ProgressPage.h"
#include "res/resource.h"
#include "version/VersionCompare.h"
#include "wizard/WizardDialog.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::string work;
    int files = 2000;
    int megabytes = 100;
    int sysFiles = 300;
    int rounds = 3;
    std::string component;
    std::string installer;
    int bigMegabytes = 3072;
    bool profile = false;
    // Set in the child processes: the round to measure, or the profile.
    int round = -1;
    int reference = -1;
    bool profileOnly = false;
    bool responsiveness = false;
};

double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c{};
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency;
}

double Time(const std::function<void()>& work)
{
    const double start = Now();
    work();
    return Now() - start;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void MakeFolders(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    ::CreateDirectoryA(path.c_str(), nullptr);
}

// The reference: every file of the tree copied to the same place below target.
void PlainCopy(const std::string& source, const std::string& target)
{
    ::CreateDirectoryA(target.c_str(), nullptr);
    WIN32_FIND_DATAA data{};
    HANDLE find = ::FindFirstFileA((source + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            PlainCopy(source + "\\" + name, target + "\\" + name);
        else
            ::CopyFileA((source + "\\" + name).c_str(), (target + "\\" + name).c_str(), FALSE);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

// The least a system-file pass must do, without status, bar, log or
// description file: the version test of source and target, the copy, and the
// registration of the files that get registered.
void NeededSysWork(const std::string& source, const std::string& target, const std::set<std::string>& registered)
{
    ::CreateDirectoryA(target.c_str(), nullptr);
    WIN32_FIND_DATAA data{};
    HANDLE find = ::FindFirstFileA((source + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string from = source + "\\" + name;
        const std::string to = target + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            NeededSysWork(from, to, registered);
        } else if (CompareVersions(ReadFileVersion(from), ReadFileVersion(to))) {
            ::CopyFileA(from.c_str(), to.c_str(), FALSE);
            if (registered.count(name) != 0)
                SelfRegister(to);
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

struct Tree {
    std::string appSource;
    std::string sysSource;
    std::vector<std::string> sysNames;
    std::set<std::string> registeredNames;
    long long appBytes = 0;
    int registered = 0;
};

constexpr int kAppFolders = 8;
constexpr double kAim = 1.3;
constexpr int kSysFolders = 3;

// Sizes spread evenly around the mean (from a fifth of it to nine fifths),
// with bytes that do not compress, from a fixed starting value.
// Without write, only describes the tree that an earlier call wrote.
Tree Generate(const Options& options, bool write)
{
    Tree tree;
    tree.appSource = options.work + "\\FilesToCopy";
    tree.sysSource = options.work + "\\SysFile";
    if (write) {
        lumo_test::RemoveTree(tree.appSource);
        lumo_test::RemoveTree(tree.sysSource);
        MakeFolders(tree.appSource);
        MakeFolders(tree.sysSource);
    }

    const long long mean = static_cast<long long>(options.megabytes) * 1024 * 1024 / options.files;
    unsigned state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    std::string block(static_cast<size_t>(mean * 2), '\0');
    for (char& c : block)
        c = static_cast<char>(next());
    for (int i = 0; i < options.files; ++i) {
        // One file in nine at the top, the others over the subfolders.
        const int folder = i % (kAppFolders + 1);
        std::string dir = tree.appSource;
        if (folder > 0)
            dir += "\\Folder" + std::to_string(folder);
        const long long size = mean / 5 + static_cast<long long>(next() % static_cast<unsigned>(mean * 8 / 5));
        const size_t offset = static_cast<size_t>(next() % static_cast<unsigned>(block.size() - size + 1));
        if (write) {
            MakeFolders(dir);
            lumo_test::WriteFileBytes(dir + "\\app" + std::to_string(i) + (i % 3 == 0 ? ".dll" : ".dat"),
                       block.substr(offset, static_cast<size_t>(size)));
        }
        tree.appBytes += size;
    }

    // A third without entry (registered), a third SYSPATH|REG, a third SYSPATH|.
    std::string section = "[SYSFILE]\r\n";
    for (int i = 0; i < options.sysFiles; ++i) {
        const std::string name = "sys" + std::to_string(i) + ".dll";
        const int folder = i % kSysFolders;
        std::string dir = tree.sysSource;
        if (folder > 0)
            dir += "\\Sys" + std::to_string(folder);
        if (write) {
            MakeFolders(dir);
            if (!::CopyFileA(options.component.c_str(), (dir + "\\" + name).c_str(), FALSE))
                throw std::runtime_error("cannot copy the component " + options.component);
        }
        switch (i % 3) {
        case 0:
            ++tree.registered;
            tree.registeredNames.insert(name);
            break;
        case 1:
            section += name + "=SYSPATH|REG\r\n";
            ++tree.registered;
            tree.registeredNames.insert(name);
            break;
        default:
            section += name + "=SYSPATH|\r\n";
            break;
        }
        tree.sysNames.push_back(dir + "\\" + name);
    }
    if (write) {
        lumo_test::WriteFileBytes(InstallDescriptionPath(), "[DESCRIZIONI]\r\nCaption=Bench\r\nNumeroFiles=" +
                                                 std::to_string(options.files / (kAppFolders + 1)) +
                                                 "\r\nNumeroSysFiles=" +
                                                 std::to_string(options.sysFiles / kSysFolders) + "\r\n" + section);
        ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, InstallDescriptionPath().c_str());
    }
    return tree;
}

Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--work")
            options.work = value();
        else if (arg == "--files")
            options.files = std::atoi(value().c_str());
        else if (arg == "--megabytes")
            options.megabytes = std::atoi(value().c_str());
        else if (arg == "--sysfiles")
            options.sysFiles = std::atoi(value().c_str());
        else if (arg == "--rounds")
            options.rounds = std::atoi(value().c_str());
        else if (arg == "--component")
            options.component = value();
        else if (arg == "--installer")
            options.installer = value();
        else if (arg == "--big-megabytes")
            options.bigMegabytes = std::atoi(value().c_str());
        else if (arg == "--profile")
            options.profile = true;
        else if (arg == "--child-responsiveness")
            options.responsiveness = true;
        else if (arg == "--child-round")
            options.round = std::atoi(value().c_str());
        else if (arg == "--child-reference")
            options.reference = std::atoi(value().c_str());
        else if (arg == "--child-profile")
            options.profileOnly = true;
        else
            throw std::runtime_error("unknown argument " + arg);
    }
    if (options.work.empty()) {
        char temp[MAX_PATH] = {};
        ::GetTempPathA(sizeof(temp), temp);
        options.work = std::string(temp) + "lumo-bench";
    }
    if (options.component.empty())
        options.component = LUMO_BENCH_COMPONENT;
    if (options.installer.empty())
        options.installer = LUMO_BENCH_INSTALLER;
    if (options.files < 1 || options.megabytes < 1 || options.sysFiles < kSysFolders || options.rounds < 1 ||
        options.bigMegabytes < 1)
        throw std::runtime_error("counts must be positive");
    return options;
}

// The wizard window with the run's controls, as the run wires them, and a
// run over the benchmark's delivery that shows on it.
class Wizard {
public:
    explicit Wizard(const Options& options) : logPath(options.work + "\\bench.log")
    {
        if (!dialog.Create(IDD_WIZARD))
            throw std::runtime_error("cannot create the wizard window");
        dialog.progressPage->ShowWindow(SW_SHOW);
        dialog.statusLine = &dialog.progressPage->statusLine;
        dialog.progressBar = &dialog.progressPage->progressBar;
        dialog.progressBar->SetRange32(0, 100);
        log.Open(logPath);
    }
    ~Wizard()
    {
        dialog.statusLine = nullptr;
        dialog.progressBar = nullptr;
    }
    WizardDialog dialog{ nullptr, WizardSetup() };
    std::string logPath;
    InstallLog log;
    Delivery delivery = ProgramDelivery();
    Installation run{ delivery, log, dialog };
};

// The plain copy again, but into the layout the application pass makes: the
// shared bin folder of each mirrored folder, its path made before every file.
// With whole, each file is written beside its target first and renamed over
// it, as every copy of the installer is: the floor of whole replacement.
void PlainCopyDeep(const std::string& source, const std::string& target, bool whole = false, bool flushed = false)
{
    ::CreateDirectoryA(target.c_str(), nullptr);
    WIN32_FIND_DATAA data{};
    HANDLE find = ::FindFirstFileA((source + "\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            PlainCopyDeep(source + "\\" + name, target + "\\" + name, whole, flushed);
        } else {
            const std::string bin = target + "\\Common Files\\Business Objects\\3.0\\bin";
            CreateDirectoryPath(bin);
            if (!whole) {
                ::CopyFileA((source + "\\" + name).c_str(), (bin + "\\" + name).c_str(), FALSE);
            } else {
                CreateDirectoryPath(bin + "\\~tmp");
                ::CopyFileA((source + "\\" + name).c_str(), (bin + "\\~tmp\\" + name).c_str(), FALSE);
                if (flushed) {
                    // What flushing every application file before its rename would cost.
                    HANDLE file = ::CreateFileA((bin + "\\~tmp\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr);
                    ::FlushFileBuffers(file);
                    ::CloseHandle(file);
                }
                ::MoveFileExA((bin + "\\~tmp\\" + name).c_str(), (bin + "\\" + name).c_str(),
                              MOVEFILE_REPLACE_EXISTING);
            }
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

// The application pass and its variants without one ingredient each, and the
// plain copies, interleaved so that a busy machine weighs on all alike.
void Ablations(Wizard& bench, const Tree& tree, const Options& options)
{
    std::printf("\napplication pass without one ingredient (median of %d):\n", options.rounds);
    WizardDialog& wizard = bench.dialog;
    CStatic* status = wizard.statusLine;
    CProgressCtrl* bar = wizard.progressBar;
    enum { Plain, PlainDeep, PlainWhole, PlainFlushed, Pass, NoLog, NoControls, NoLogNoControls, Count };
    const char* names[Count] = { "plain copy", "plain copy, pass layout", "the same, replaced whole",
                                 "the same, each file flushed", "pass as shipped", "pass, no log", "pass, no status and bar", "pass, neither" };
    std::vector<double> times[Count];
    int serial = 0;
    for (int round = 0; round < options.rounds; ++round) {
        for (int k = 0; k < Count; ++k) {
            const int which = (k + round) % Count;
            const std::string target = options.work + "\\ablation" + std::to_string(serial++);
            MakeFolders(target);
            const bool withLog = which == Pass || which == NoControls;
            const bool withControls = which == Pass || which == NoLog;
            if (withLog)
                bench.log.Open(bench.logPath);
            else
                bench.log.Close();
            wizard.statusLine = withControls ? status : nullptr;
            wizard.progressBar = withControls ? bar : nullptr;
            times[which].push_back(Time([&] {
                if (which == Plain)
                    PlainCopy(tree.appSource, target);
                else if (which == PlainDeep)
                    PlainCopyDeep(tree.appSource, target);
                else if (which == PlainWhole)
                    PlainCopyDeep(tree.appSource, target, true);
                else if (which == PlainFlushed)
                    PlainCopyDeep(tree.appSource, target, true, true);
                else
                    bench.run.CopyDirAndFiles(tree.appSource, target);
            }));
            lumo_test::RemoveTree(target);
        }
    }
    bench.log.Open(bench.logPath);
    wizard.statusLine = status;
    wizard.progressBar = bar;
    const double base = Median(times[Plain]);
    for (int k = 0; k < Count; ++k)
        std::printf("  %-26s %8.3f s   ratio to plain copy %.2f\n", names[k], Median(times[k]),
                    Median(times[k]) / base);
}

// The pieces a pass is made of, each timed alone on the same data.
void Profile(Wizard& bench, const Tree& tree, const Options& options)
{
    WizardDialog& wizard = bench.dialog;
    const int n = options.files;
    std::printf("\nwhere the time goes (each piece alone):\n");

    const double pump = Time([&] {
        for (int i = 0; i < n; ++i) {
            wizard.statusLine->SetWindowText("Copia in " + std::to_string(i));
            PumpMessages();
            wizard.progressBar->SetPos(i % 100);
            PumpMessages();
        }
    });
    std::printf("  status text + bar position + message pump, %d files:  %8.3f s  (%.1f us per file)\n", n, pump,
                pump * 1e6 / n);

    const double folders = Time([&] {
        const std::string bin = options.work + "\\probe\\Common Files\\Business Objects\\3.0\\bin";
        for (int i = 0; i < n; ++i)
            CreateDirectoryPath(bin);
    });
    std::printf("  CreateDirectoryPath of an existing bin folder, %d times: %8.3f s  (%.1f us each)\n", n, folders,
                folders * 1e6 / n);

    const double logging = Time([&] {
        for (int i = 0; i < n; ++i)
            bench.log.WriteLog("  Copiato il file: " + options.work + "\\probe\\app" + std::to_string(i) + ".dat");
    });
    std::printf("  WriteLog of a file line, %d times:                      %8.3f s  (%.1f us each)\n", n, logging,
                logging * 1e6 / n);

    const int m = options.sysFiles;
    const double values = Time([&] {
        for (int i = 0; i < m; ++i)
            ProgramDelivery().ReadInstallValue("SYSFILE", "sys" + std::to_string(i) + ".dll");
    });
    std::printf("  ReadInstallValue of a SYSFILE entry, %d times:          %8.3f s  (%.1f us each)\n", m, values,
                values * 1e6 / m);

    const double versions = Time([&] {
        for (const std::string& path : tree.sysNames)
            ReadFileVersion(path);
    });
    std::printf("  ReadFileVersion of a system file, %d times:             %8.3f s  (%.1f us each)\n", m, versions,
                versions * 1e6 / m);

    // The version read split into its platform calls.
    const double sizes = Time([&] {
        DWORD unused = 0;
        for (const std::string& path : tree.sysNames)
            ::GetFileVersionInfoSizeA(path.c_str(), &unused);
    });
    std::vector<BYTE> buffer;
    const double infos = Time([&] {
        DWORD unused = 0;
        for (const std::string& path : tree.sysNames) {
            const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &unused);
            buffer.resize(size);
            ::GetFileVersionInfoA(path.c_str(), 0, size, buffer.data());
        }
    });
    std::printf("    of which GetFileVersionInfoSizeA alone %.1f us, with GetFileVersionInfoA %.1f us per file\n",
                sizes * 1e6 / m, infos * 1e6 / m);
    const double opens = Time([&] {
        for (const std::string& path : tree.sysNames) {
            HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr);
            if (file != INVALID_HANDLE_VALUE)
                ::CloseHandle(file);
        }
    });
    std::printf("    for scale: opening and closing the file %.1f us\n", opens * 1e6 / m);

    const double missing = Time([&] {
        for (int i = 0; i < m; ++i)
            ReadFileVersion(options.work + "\\probe\\missing" + std::to_string(i) + ".dll");
    });
    std::printf("  ReadFileVersion of a missing target, %d times:          %8.3f s  (%.1f us each)\n", m, missing,
                missing * 1e6 / m);

    // The registration split: loading a fresh copy, and the entry point alone
    // (its registry writes), the load timed per copy to see whether it grows
    // with the number of modules already loaded.
    const std::string more = options.work + "\\probe\\load";
    MakeFolders(more);
    std::vector<double> loads;
    std::vector<HMODULE> modules;
    for (int i = 0; i < tree.registered; ++i) {
        const std::string path = more + "\\l" + std::to_string(i) + ".dll";
        ::CopyFileA(options.component.c_str(), path.c_str(), FALSE);
        HMODULE module = nullptr;
        loads.push_back(Time([&] { module = ::LoadLibraryA(path.c_str()); }));
        modules.push_back(module);
    }
    double total = 0;
    for (double t : loads)
        total += t;
    std::printf("  LoadLibrary alone of a fresh copy, %d copies:           %8.3f s  (%.1f us each)\n",
                tree.registered, total, total * 1e6 / tree.registered);
    // The mean per quarter of the loads, in the order they happened.
    std::printf("    by quarter:");
    for (size_t q = 0; q < 4; ++q) {
        const size_t from = loads.size() * q / 4, to = loads.size() * (q + 1) / 4;
        double sum = 0;
        for (size_t i = from; i < to; ++i)
            sum += loads[i];
        std::printf(" %.1f us", to > from ? sum * 1e6 / static_cast<double>(to - from) : 0.0);
    }
    std::printf("\n");
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    const double entries = Time([&] {
        for (HMODULE module : modules) {
            auto entry = reinterpret_cast<EntryPoint>(
                reinterpret_cast<void*>(::GetProcAddress(module, "DllRegisterServer")));
            if (entry != nullptr)
                entry();
        }
    });
    std::printf("  DllRegisterServer alone, %d loaded copies:              %8.3f s  (%.1f us each)\n",
                tree.registered, entries, entries * 1e6 / tree.registered);
    char loaded[MAX_PATH] = {};
    ::GetModuleFileNameA(modules.empty() ? nullptr : modules.back(), loaded, sizeof(loaded));
    const double reload = Time([&] {
        for (int i = 0; i < tree.registered; ++i)
            ::LoadLibraryA(loaded);
    });
    std::printf("  LoadLibrary of an already loaded copy, %d times:        %8.3f s  (%.1f us each)\n",
                tree.registered, reload, reload * 1e6 / tree.registered);

    const std::string fresh = options.work + "\\probe\\register";
    MakeFolders(fresh);
    std::vector<std::string> copies;
    for (int i = 0; i < tree.registered; ++i) {
        copies.push_back(fresh + "\\r" + std::to_string(i) + ".dll");
        ::CopyFileA(options.component.c_str(), copies.back().c_str(), FALSE);
    }
    const double registering = Time([&] {
        for (const std::string& path : copies)
            SelfRegister(path);
    });
    std::printf("  SelfRegister of %d more fresh copies:                   %8.3f s  (%.1f us each)\n",
                tree.registered, registering, registering * 1e6 / tree.registered);

    const double dao = Time([&] {
        for (int i = 0; i < kAppFolders + 1; ++i)
            SelfRegister("C:\\Program Files (x86)\\File comuni\\microsoft shared\\DAO\\DAO350.DLL");
    });
    std::printf("  SelfRegister of the absent DAO library, %d folders:     %8.3f s\n", kAppFolders + 1, dao);
}

std::string ResultsPath(const Options& options)
{
    return options.work + "\\results.txt";
}

// One round, in a process of its own: both passes and both plain copies into
// empty targets; the order alternates between rounds so that neither side
// always meets the warmer cache.
int MeasureRound(const Options& options)
{
    const Tree tree = Generate(options, false);
    Wizard wizard(options);
    const std::string r = std::to_string(options.round);
    double appPass = 0, appPlain = 0, sysPass = 0, sysPlain = 0;
    auto plainApp = [&] { appPlain = Time([&] { PlainCopy(tree.appSource, options.work + "\\plain-app" + r); }); };
    auto passApp = [&] {
        const std::string target = options.work + "\\pass-app" + r;
        MakeFolders(target);
        appPass = Time([&] { wizard.run.CopyDirAndFiles(tree.appSource, target); });
    };
    auto plainSys = [&] { sysPlain = Time([&] { PlainCopy(tree.sysSource, options.work + "\\plain-sys" + r); }); };
    auto passSys = [&] {
        const std::string target = options.work + "\\pass-sys" + r;
        MakeFolders(target);
        sysPass = Time([&] { wizard.run.CopyAndRegisterSysFiles(tree.sysSource, target); });
    };
    if (options.round % 2 == 0) {
        plainApp();
        passApp();
        plainSys();
        passSys();
    } else {
        passApp();
        plainApp();
        passSys();
        plainSys();
    }
    lumo_test::RemoveTree(options.work + "\\plain-app" + r);
    lumo_test::RemoveTree(options.work + "\\pass-app" + r);
    lumo_test::RemoveTree(options.work + "\\plain-sys" + r);

    std::printf("round %d: application pass %.3f s, plain %.3f s; system pass %.3f s, plain %.3f s\n",
                options.round, appPass, appPlain, sysPass, sysPlain);
    FILE* results = std::fopen(ResultsPath(options).c_str(), "a");
    if (results == nullptr)
        throw std::runtime_error("cannot write " + ResultsPath(options));
    std::fprintf(results, "%.6f %.6f %.6f %.6f\n", appPass, appPlain, sysPass, sysPlain);
    std::fclose(results);
    return 0;
}

std::string ReferencePath(const Options& options)
{
    return options.work + "\\reference.txt";
}

// The needed system-file work alone, in a process of its own like a round.
int MeasureReference(const Options& options)
{
    const Tree tree = Generate(options, false);
    const std::string target = options.work + "\\needed-sys" + std::to_string(options.reference);
    const double needed = Time([&] { NeededSysWork(tree.sysSource, target, tree.registeredNames); });
    std::printf("round %d: version test, copy and registration alone %.3f s\n", options.reference, needed);
    FILE* results = std::fopen(ReferencePath(options).c_str(), "a");
    if (results == nullptr)
        throw std::runtime_error("cannot write " + ReferencePath(options));
    std::fprintf(results, "%.6f\n", needed);
    std::fclose(results);
    return 0;
}

int ProfileOnly(const Options& options)
{
    const Tree tree = Generate(options, false);
    Wizard wizard(options);
    Ablations(wizard, tree, options);
    Profile(wizard, tree, options);
    return 0;
}

// Starts a program and waits for its end; its exit code.
DWORD RunProgram(std::string commandLine)
{
    std::fflush(stdout);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        throw std::runtime_error("cannot start (error " + std::to_string(::GetLastError()) + ") " + commandLine);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return exitCode;
}

// The benchmark's trees as a delivery: the installer beside them and a
// description file of the same counts and SYSFILE entries, its log in a
// folder of the benchmark's own.
std::string MakeDelivery(const Options& options)
{
    const std::string exe = options.work + "\\LumoInstall.exe";
    if (!::CopyFileA(options.installer.c_str(), exe.c_str(), FALSE))
        throw std::runtime_error("cannot copy the installer " + options.installer);
    std::string description = lumo_test::ReadFileBytes(InstallDescriptionPath());
    description += "[CHIAVI]\r\nInstallationDir=" + options.work + "\\silent-log\r\n";
    lumo_test::WriteFileBytes(options.work + "\\Installatore.ini", description);
    return exe;
}

// Removes what a run installed, by the copies its log names, and the log.
void UndoInstallation(const Options& options)
{
    const std::string logPath = options.work + "\\silent-log\\Installatore.log";
    const std::string log = lumo_test::ReadFileBytes(logPath);
    const std::string copied = "  Copiato il file: ";
    for (size_t at = log.find(copied); at != std::string::npos; at = log.find(copied, at + 1)) {
        const size_t from = at + copied.size();
        const size_t end = log.find_first_of("\r\n", from);
        const std::string path = log.substr(from, end - from);
        if (!::DeleteFileA(path.c_str()))
            throw std::runtime_error("cannot remove " + path + " (a registered copy still loaded?)");
    }
    ::DeleteFileA(logPath.c_str());
}

// The whole unattended installation, process start included, into a machine
// that has none of its files.
double SilentRun(const Options& options, const std::string& exe)
{
    DWORD exitCode = 1;
    const double seconds = Time([&] { exitCode = RunProgram("\"" + exe + "\" /S"); });
    if (exitCode != 0)
        throw std::runtime_error("the silent run ended with " + std::to_string(exitCode));
    UndoInstallation(options);
    return seconds;
}

// One file of the given size, all zeros: quick to make, as long to copy as
// any other data.
void MakeBigFile(const std::string& path, long long bytes)
{
    HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot make " + path);
    LARGE_INTEGER size{};
    size.QuadPart = bytes;
    const bool sized = ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    ::CloseHandle(file);
    if (!sized)
        throw std::runtime_error("cannot size " + path);
}

// The application pass over one multi-gigabyte file, while another thread
// sends the wizard window a message every 10 ms and times each answer.
int MeasureResponsiveness(const Options& options)
{
    const std::string source = options.work + "\\big";
    const std::string target = options.work + "\\big-target";
    MakeFolders(source);
    MakeFolders(target);
    MakeBigFile(source + "\\big.dat", static_cast<long long>(options.bigMegabytes) * 1024 * 1024);
    Wizard wizard(options);
    const HWND window = wizard.dialog.GetSafeHwnd();

    std::atomic<bool> copying{ true };
    std::atomic<bool> finished{ false };
    double longest = 0;
    int answered = 0;
    std::thread prober([&] {
        while (copying) {
            const double sent = Now();
            DWORD_PTR unused = 0;
            if (::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &unused) != 0) {
                longest = std::max(longest, Now() - sent);
                ++answered;
            }
            ::Sleep(10);
        }
        finished = true;
    });
    const double pass = Time([&] { wizard.run.CopyDirAndFiles(source, target); });
    copying = false;
    while (!finished) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpMessages();
    }
    prober.join();
    lumo_test::RemoveTree(source);
    lumo_test::RemoveTree(target);

    std::printf("  one %d MB file copied by the application pass in %.3f s: of %d messages to the window the\n"
                "    longest waited %.1f ms for an answer (aim: at most 100 ms)  %s\n",
                options.bigMegabytes, pass, answered, longest * 1000, longest <= 0.1 ? "within" : "OVER");
    return 0;
}

// Runs this program again with the given extra arguments and waits for it.
void RunChild(const Options& options, const std::string& extra)
{
    const std::string commandLine =
        "\"" + ModulePath() + "\" --work \"" + options.work + "\" --files " + std::to_string(options.files) +
        " --megabytes " + std::to_string(options.megabytes) + " --sysfiles " + std::to_string(options.sysFiles) +
        " --rounds " + std::to_string(options.rounds) + " --component \"" + options.component + "\" --installer \"" +
        options.installer + "\" --big-megabytes " + std::to_string(options.bigMegabytes) + " " + extra;
    if (RunProgram(commandLine) != 0)
        throw std::runtime_error("a measuring process failed: " + extra);
}

int Run(const Options& options)
{
    MakeFolders(options.work);
    std::printf("generating %d application files (%d MB) and %d system files in %s\n", options.files,
                options.megabytes, options.sysFiles, options.work.c_str());
    const Tree tree = Generate(options, true);
    std::printf("  %.1f MB of application files; %d of the system files get registered\n",
                static_cast<double>(tree.appBytes) / (1024.0 * 1024.0), tree.registered);

    // One untimed copy first: it brings the sources into the file cache for
    // both contenders alike.
    PlainCopy(tree.appSource, options.work + "\\warm-app");
    PlainCopy(tree.sysSource, options.work + "\\warm-sys");
    lumo_test::RemoveTree(options.work + "\\warm-app");
    lumo_test::RemoveTree(options.work + "\\warm-sys");

    ::DeleteFileA(ResultsPath(options).c_str());
    ::DeleteFileA(ReferencePath(options).c_str());
    for (int round = 0; round < options.rounds; ++round) {
        RunChild(options, "--child-round " + std::to_string(round));
        RunChild(options, "--child-reference " + std::to_string(round));
    }

    std::vector<double> appPass, appPlain, sysPass, sysPlain;
    FILE* results = std::fopen(ResultsPath(options).c_str(), "r");
    if (results == nullptr)
        throw std::runtime_error("no results");
    double a = 0, b = 0, c = 0, d = 0;
    while (std::fscanf(results, "%lf %lf %lf %lf", &a, &b, &c, &d) == 4) {
        appPass.push_back(a);
        appPlain.push_back(b);
        sysPass.push_back(c);
        sysPlain.push_back(d);
    }
    std::fclose(results);
    if (static_cast<int>(appPass.size()) != options.rounds)
        throw std::runtime_error("results missing");

    const double ap = Median(appPass), al = Median(appPlain), sp = Median(sysPass), sl = Median(sysPlain);
    std::printf("\nmedian of %d rounds (aim: each pass within %.1fx the plain copy):\n", options.rounds, kAim);
    std::printf("  CopyDirAndFiles          %8.3f s   plain copy %8.3f s   ratio %.2f  %s\n", ap, al, ap / al,
                ap / al <= kAim ? "within" : "OVER");
    std::printf("  CopyAndRegisterSysFiles  %8.3f s   plain copy %8.3f s   ratio %.2f  %s\n", sp, sl, sp / sl,
                sp / sl <= kAim ? "within" : "OVER");
    std::printf("  both passes              %8.3f s   plain copy %8.3f s   ratio %.2f\n", ap + sp, al + sl,
                (ap + sp) / (al + sl));

    std::vector<double> needed;
    results = std::fopen(ReferencePath(options).c_str(), "r");
    while (results != nullptr && std::fscanf(results, "%lf", &a) == 1)
        needed.push_back(a);
    if (results != nullptr)
        std::fclose(results);
    if (!needed.empty()) {
        const double sn = Median(needed);
        std::printf("  system files, version test + copy + registration alone %8.3f s; pass ratio to it %.2f\n", sn,
                    sp / sn);
    }

    // The unattended installation of the same trees, process start included,
    // against the plain copy of both trees and the two passes measured above.
    const std::string exe = MakeDelivery(options);
    std::vector<double> silent;
    for (int round = 0; round < options.rounds; ++round)
        silent.push_back(SilentRun(options, exe));
    const double si = Median(silent);
    std::printf("  LumoInstall.exe /S       %8.3f s   plain copy %8.3f s   ratio %.2f  (to both passes %.2f)\n", si,
                al + sl, si / (al + sl), si / (ap + sp));

    RunChild(options, "--child-responsiveness");
    if (options.profile)
        RunChild(options, "--child-profile");
    ::DeleteFileA(InstallDescriptionPath().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ::CoInitialize(nullptr);
    AfxInitCommonControls();
    int result = 1;
    try {
        const Options options = Parse(argc, argv);
        if (options.round >= 0)
            result = MeasureRound(options);
        else if (options.reference >= 0)
            result = MeasureReference(options);
        else if (options.profileOnly)
            result = ProfileOnly(options);
        else if (options.responsiveness)
            result = MeasureResponsiveness(options);
        else
            result = Run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "engine_bench: %s\n", error.what());
    }
    std::fflush(stdout);
    ::CoUninitialize();
    return result;
}
