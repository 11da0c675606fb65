// The kit's main job shown on a simulated card reader under Wine. Run by
// scripts/demo.sh inside a fresh prefix; prints what happens step by step.
#include "harness.h"
#include <stdio.h>

static void Step(const char *text)
{
    printf("\n==> %s\n", text);
}

static void ShowRequests(const std::vector<InstallRequest> &requests)
{
    if (requests.empty())
        printf("    (no installation requested)\n");
    for (size_t i = 0; i < requests.size(); i++)
        printf("    install request: hardware ID %s, INF %s, flags %lu\n",
               requests[i].hardwareId.c_str(), requests[i].infPath.c_str(), requests[i].flags);
}

static void RebindReader(const std::string &folder)
{
    Step("vorbind re-binds every device with the reader's IDs to a driver INF");
    const char *variants[] = {"vorbind.exe", "vorbind-oem.exe", "vorbind-bare.exe"};
    for (int i = 0; i < 3; i++) {
        std::string exe = CopyProgramTo(folder, variants[i]);
        std::string log = NewdevLogPath(folder);
        DeleteFileA(log.c_str());
        printf("    %s 0e5b 0a17 zelmot.inf\n", variants[i]);
        DWORD code = RunProgram(exe, "0e5b 0a17 zelmot.inf", true, log, 20000);
        printf("    exit code %lu\n", code);
        ShowRequests(ReadInstallRequests(log));
    }
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    std::string folder = MakeWorkFolder("demo");
    InstallNewdevRecorder(folder);

    Step("plug in the simulated card reader (USB vendor 0e5b, product 0a17)");
    bool added = AddDevice("USB\\VID_0E5B&PID_0A17\\KIT0001",
                           {"USB\\Vid_0e5b&Pid_0a17&Rev_0100", "USB\\Vid_0e5b&Pid_0a17"},
                           "USBSTOR", true);
    printf("    reader %s, bound to the generic service %s\n", added ? "added" : "NOT added",
           GetDeviceService("USB\\VID_0E5B&PID_0A17\\KIT0001").c_str());
    RebindReader(folder);
    printf("\ndemo finished\n");
    return added ? 0 : 1;
}
