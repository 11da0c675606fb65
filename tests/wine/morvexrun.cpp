#include "morvexrun.h"
#include "tracereader.h"

void StartMorvex_(At at, const std::string &exe, const std::string &log, MorvexRun *run)
{
    DeleteFileA(log.c_str());
    run->mark = TraceMark();
    run->process = StartProgram(exe, "", true, log);
    run->pid = run->process ? GetProcessId(run->process) : 0;
    run->window = run->pid ? WaitForWindowOfClass("MORVEX", run->pid, 60000) : NULL;
    bool up = run->window && WaitUntilIdle(run->window, 60000);
    ok_at(at, up, "morvex did not come up");
    if (!up) {
        KillProgram(run->process);
        run->process = NULL;
        run->window = NULL;
    }
}

void ExitMorvex_(At at, MorvexRun *run)
{
    if (!run->process)
        return;
    PostMessageA(run->window, WM_COMMAND, 105, 0);
    DWORD code = FinishProgram(run->process, 60000);
    run->process = NULL;
    ok_at(at, code == 0, "File > Exit ends morvex with %lu", code);
}

void CheckEndsAtOnce_(At at, const std::string &exe, const std::string &log,
                      const std::vector<std::string> &parts)
{
    DeleteFileA(log.c_str());
    size_t mark = TraceMark();
    HANDLE process = StartProgram(exe, "", true, log);
    DWORD pid = process ? GetProcessId(process) : 0;
    bool window = false;
    DWORD code = FinishProgramWatchingWindow(process, "MORVEX", 60000, &window);
    ok_at(at, code == 0 && !window, "exit code 0x%lx, a window %s", code,
          window ? "came" : "never came");
    ok_at(at, ReadInstallRequests(log).empty(), "%u installations requested",
          (unsigned)ReadInstallRequests(log).size());
    CheckTracedAt(at.file, at.line, pid, mark, parts);
}

std::vector<std::string> RequestedIds(const std::string &log)
{
    std::vector<std::string> ids;
    for (const InstallRequest &request : ReadInstallRequests(log))
        ids.push_back(request.hardwareId);
    return ids;
}

std::string Joined(const std::vector<std::string> &ids)
{
    std::string text;
    for (size_t i = 0; i < ids.size(); i++)
        text += (i ? ", " : "") + ids[i];
    return text;
}

void CheckRequests_(At at, const std::string &log, const std::vector<std::string> &expected)
{
    std::vector<std::string> ids = RequestedIds(log);
    ok_at(at, ids == expected, "requested [%s], expected [%s]", Joined(ids).c_str(),
          Joined(expected).c_str());
}
