// lumivane-check: the command line, and each file read and checked in turn.
#include "tools/check/check.h"

#include "rules/ini.h"
#include "base/out.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

CheckSectionKind checkKindOf(const std::string &name)
{
    if (iniNameEquals(name.data(), name.size(), "config"))
        return CHECK_CONFIG;
    if (iniNameEquals(name.data(), name.size(), "default"))
        return CHECK_DEFAULT;
    return checkIsCarName(name.c_str()) ? CHECK_CAR : CHECK_NO_CAR;
}

const char g_usage[] =
    "usage: lumivane-check [FILE...]             check FILE (default: lumivane.cfg in the\n"
    "                                            current folder) and explain it\n"
    "       lumivane-check --car CODE [FILE...]  the profile that car CODE gets (a mod car:\n"
    "                                            its SkinID; a Forza car: its number), and\n"
    "                                            a table of its LEDs\n"
    "       lumivane-check --help\n"
    "Reads the file as lumivane reads it, says what each LED shows in each car, and reports\n"
    "where the file says something other than what it probably means, one finding a line:\n"
    "FILE:LINE: warning: TEXT [kind]. Several files are checked one after another.\n"
    "Exit status: 0 no findings, 1 findings, 2 a file cannot be read or bad arguments.\n";

int checkUsageError(const std::string &text)
{
    std::fprintf(stderr, "lumivane-check: %s\nTry 'lumivane-check --help'.\n", text.c_str());
    return 2;
}

// The name handed to the reader. The Windows profile API looks for a bare file name in
// the Windows folder; with a folder part, even ".", it takes the name as given.
std::string checkReaderPath(const std::string &name)
{
    if (name.find_first_of("/\\:") != std::string::npos)
        return name;
    return "./" + name;
}

// Checks one file; the exit status it calls for.
int checkOne(const std::string &shown, const std::string &path, const char *car)
{
    CheckFile file;
    std::string error;
    if (!checkLoad(shown, path, &file, &error)) {
        checkRelease(&file);
        std::fprintf(stderr,
                     "lumivane-check: cannot read %s: %s (lumivane would use the built-in "
                     "defaults)\n",
                     shown.c_str(), error.c_str());
        return 2;
    }
    checkFindings(&file);
    if (car != nullptr)
        checkExplainCar(file, car);
    else
        checkExplain(file);
    const int status = checkPrintFindings(file) > 0 ? 1 : 0;
    checkRelease(&file);
    return status;
}

} // namespace

bool checkIsCarName(const char *name)
{
    return ogCarNameFits(name) || checkGameOf(name) != OG_GAME_COUNT;
}

OgGame checkGameOf(const std::string &car)
{
    std::string upper = car;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ogGameOfCar(upper.c_str());
}

bool checkLoad(const std::string &shown, const std::string &path, CheckFile *file,
               std::string *error)
{
    file->shown = shown;
    file->path = path;
    errno = 0;
    if (!profileLoad(file->path.c_str(), &file->profile)) {
        // A folder, for one, opens but fails to read.
        *error = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    configReadGlobals(file->profile, &file->settings);

    IniScan scan;
    iniScanStart(&scan, file->profile.text, file->profile.len);
    file->bom = scan.bom;
    file->bomOnHeader = false;
    IniLine line;
    while (iniScanNext(&scan, &line)) {
        if (line.kind == INI_LINE_SECTION) {
            CheckSection section;
            section.name.assign(line.name, line.nameLen);
            section.line = line.number;
            section.kind = checkKindOf(section.name);
            section.firstLine = line.number;
            const CheckSection *first = checkSectionNamed(*file, section.name.c_str());
            if (first != nullptr)
                section.firstLine = first->line;
            file->sections.push_back(section);
            file->bomOnHeader = file->bomOnHeader || (file->bom && line.number == 1);
        } else if (line.kind == INI_LINE_COMMENT) {
            continue;
        } else if (file->sections.empty() || line.kind == INI_LINE_OTHER) {
            file->strays.push_back(CheckStray{line.number, std::string(line.name, line.nameLen),
                                              file->sections.empty()});
        } else {
            file->sections.back().keys.push_back(CheckKey{line.number,
                                                          std::string(line.name, line.nameLen),
                                                          std::string(line.value, line.valueLen)});
        }
    }
    return true;
}

void checkRelease(CheckFile *file)
{
    profileRelease(&file->profile);
}

int checkMain(int argc, char **argv)
{
    const char *car = nullptr;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(g_usage, stdout);
            return 0;
        }
        if (arg == "--car" || arg.compare(0, 6, "--car=") == 0) {
            if (arg == "--car" && i + 1 >= argc)
                return checkUsageError("option '--car' needs a car code");
            car = arg == "--car" ? argv[++i] : argv[i] + 6;
            if (!checkIsCarName(car))
                return checkUsageError("car code '" + std::string(car) +
                                       "' is longer than 4 characters; car codes never are "
                                       "(but for a mod car's SkinID, 6 hex digits, and a Forza "
                                       "car's number, up to 6 digits)");
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-')
            return checkUsageError("unknown option '" + arg + "'");
        files.push_back(arg);
    }

    int status = 0;
    if (files.empty()) {
        // The file lumivane itself reads: lumivane.cfg in the working directory.
        char *path = configBuildPath();
        status = checkOne("lumivane.cfg", configPathOr(path), car);
        std::free(path);
        return status;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i > 0)
            outPrintf("\n");
        int one = checkOne(files[i], checkReaderPath(files[i]), car);
        status = one > status ? one : status;
    }
    return status;
}
