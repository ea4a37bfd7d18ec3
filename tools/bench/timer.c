/* The Windows-side driver of bench-launch.sh. One process inside Wine starts
   every run, so that no run pays for the Unix `wine` start-up.

     timer.exe series <record> <pairs> <warm-up pairs> <product exe> <floor exe>
       Runs product, floor, product, floor, ... (warm-up pairs first) and prints
       one line per run: "<warmup|product|floor> <milliseconds>", then
       "failed-starts <n>": starts that Wine failed and that were repeated.
     timer.exe trace <record> <exe>
       Runs <exe> once with WINEDEBUG=+pid,+loaddll in its environment (Wine's
       trace goes to this driver's standard error) and prints "pid <hex>".

   A run is timed from just before CreateProcessW until the launcher process
   has exited: that is the launcher's cost as the user sees it, and the
   browser's own life is not the launcher's to account for. The browser may
   still be running then; the next run starts only once the job that holds
   the launcher and everything it started is empty, so that runs never overlap.

   Each launcher is started as a shortcut starts it: its quoted path alone as
   the command line, its folder as the working directory. <record> is the file
   the stand-in browser writes its command line and working directory to; it
   is checked after every run (exactly one browser start) and removed, and the
   first product and floor runs must have recorded identical lines. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#define TIMEOUT_MS 30000
#define RECORD_UNITS 8192
#define MAX_ATTEMPTS 3

typedef struct {
  double exit_ms;
  DWORD process_id;
} Run;

static LARGE_INTEGER frequency;
static const wchar_t* record_path;
static int failed_starts;

static void fail(const char* what, const wchar_t* exe) {
  fprintf(stderr, "timer: %s (%ls), error %lu\n", what, exe ? exe : L"-", GetLastError());
  fflush(stderr);
  exit(1);
}

/* The record as written by the stand-in browser; empty when there is none. */
static void read_record(wchar_t (*out)[RECORD_UNITS]) {
  (*out)[0] = L'\0';
  HANDLE file = CreateFileW(record_path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD read = 0;
  if (!ReadFile(file, *out, (RECORD_UNITS - 1) * sizeof(wchar_t), &read, NULL)) {
    read = 0;
  }
  (*out)[read / sizeof(wchar_t)] = L'\0';
  CloseHandle(file);
}

static int count_lines(const wchar_t* text) {
  int lines = 0;
  for (; *text != L'\0'; ++text) {
    lines += *text == L'\n';
  }
  return lines;
}

/* Waits, bounded, until no process of the job is left. Wine does not always
   post JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO, so the job's count is read too. */
static int wait_job_empty(HANDLE job, HANDLE port, JOBOBJECT_BASIC_ACCOUNTING_INFORMATION* accounting) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, accounting,
                                  sizeof(*accounting), NULL) &&
        accounting->ActiveProcesses == 0) {
      return 1;
    }
    if (GetTickCount64() - start > TIMEOUT_MS) {
      return 0;
    }
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = NULL;
    GetQueuedCompletionStatus(port, &message, &key, &overlapped, 20);
  }
}

static Run run_once(const wchar_t* exe, wchar_t (*record)[RECORD_UNITS]) {
  Run result = {0, 0};
  DeleteFileW(record_path);

  wchar_t folder[MAX_PATH * 4];
  wchar_t command_line[MAX_PATH * 4 + 3];
  if (swprintf(folder, MAX_PATH * 4, L"%ls", exe) < 0 || wcsrchr(folder, L'\\') == NULL ||
      swprintf(command_line, MAX_PATH * 4 + 3, L"\"%ls\"", exe) < 0) {
    fail("path too long or without a folder", exe);
  }
  *wcsrchr(folder, L'\\') = L'\0';

  HANDLE job = CreateJobObjectW(NULL, NULL);
  HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, NULL, 0, 1);
  if (job == NULL || port == NULL) {
    fail("no job object", exe);
  }
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT link = {job, port};
  SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &link, sizeof(link));

  STARTUPINFOW startup = {0};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {0};
  LARGE_INTEGER started, exited;
  for (int attempt = 1;; ++attempt) {
    QueryPerformanceCounter(&started);
    /* Suspended until it is in the job, so that the browser it starts is too. */
    if (CreateProcessW(exe, command_line, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, folder,
                       &startup, &process)) {
      break;
    }
    /* Now and then Wine's new process dies in Wine's own start-up, before any
       code of the program has run, and CreateProcessW reports an internal
       error. That start is not a launch of the program: it is counted, shown,
       and started again, with the clock started again too. */
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == MAX_ATTEMPTS) {
      fail("could not start", exe);
    }
    ++failed_starts;
  }
  if (!AssignProcessToJobObject(job, process.hProcess)) {
    TerminateProcess(process.hProcess, 99);
    fail("could not put the process in the job", exe);
  }
  ResumeThread(process.hThread);
  if (WaitForSingleObject(process.hProcess, TIMEOUT_MS) != WAIT_OBJECT_0) {
    TerminateJobObject(job, 99);
    fail("the launcher did not exit within 30 s", exe);
  }
  QueryPerformanceCounter(&exited);
  result.exit_ms = (double)(exited.QuadPart - started.QuadPart) * 1000.0 / (double)frequency.QuadPart;
  result.process_id = process.dwProcessId;

  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {0};
  if (!wait_job_empty(job, port, &accounting)) {
    TerminateJobObject(job, 99);
    fail("the browser did not exit within 30 s", exe);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(port);
  CloseHandle(job);

  if (exit_code != 0) {
    fprintf(stderr, "timer: %ls exited with %lu\n", exe, exit_code);
    exit(1);
  }
  if (accounting.TotalProcesses != 2) {
    fprintf(stderr, "timer: %ls: %lu processes in the job, expected the launcher and one browser\n",
            exe, accounting.TotalProcesses);
    exit(1);
  }
  read_record(record);
  if (count_lines(*record) != 2) {
    fprintf(stderr, "timer: %ls: the stand-in browser recorded %d lines, expected 2:\n%ls\n", exe,
            count_lines(*record), *record);
    exit(1);
  }
  DeleteFileW(record_path);
  return result;
}

static int series(int pairs, int warmup, const wchar_t* product, const wchar_t* floor_exe) {
  static wchar_t product_record[RECORD_UNITS];
  static wchar_t floor_record[RECORD_UNITS];
  for (int i = 0; i < warmup + pairs; ++i) {
    const Run a = run_once(product, &product_record);
    const Run b = run_once(floor_exe, &floor_record);
    if (i == 0) {
      if (wcscmp(product_record, floor_record) != 0) {
        fprintf(stderr, "timer: the floor started the browser differently from the product\n"
                        "product:\n%ls\nfloor:\n%ls\n", product_record, floor_record);
        return 1;
      }
      /* Shown as the script's evidence that both started the same browser alike. */
      const wchar_t* line = product_record;
      for (const wchar_t* end; (end = wcschr(line, L'\n')) != NULL; line = end + 1) {
        wprintf(L"record %.*ls\n", (int)(end - line), line);
      }
    }
    if (i < warmup) {
      wprintf(L"warmup %.3f\nwarmup %.3f\n", a.exit_ms, b.exit_ms);
    } else {
      wprintf(L"product %.3f\nfloor %.3f\n", a.exit_ms, b.exit_ms);
    }
    fflush(stdout);
  }
  wprintf(L"failed-starts %d\n", failed_starts);
  return 0;
}

static int trace(const wchar_t* exe) {
  static wchar_t record[RECORD_UNITS];
  /* WINEDEBUG is read from the new process's environment block: only the
     traced launcher (and the browser it starts, which inherits it) log. */
  SetEnvironmentVariableW(L"WINEDEBUG", L"+pid,+loaddll");
  const Run run = run_once(exe, &record);
  SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
  wprintf(L"pid %04lx\n", run.process_id);
  fflush(stdout);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  QueryPerformanceFrequency(&frequency);
  if (argc == 7 && wcscmp(argv[1], L"series") == 0) {
    record_path = argv[2];
    const int pairs = _wtoi(argv[3]);
    const int warmup = _wtoi(argv[4]);
    if (pairs < 1 || warmup < 1) {
      fprintf(stderr, "timer: at least one pair and one warm-up pair\n");
      return 2;
    }
    SetEnvironmentVariableW(L"KORVELA_E2E_RECORD", record_path);
    return series(pairs, warmup, argv[5], argv[6]);
  }
  if (argc == 4 && wcscmp(argv[1], L"trace") == 0) {
    record_path = argv[2];
    SetEnvironmentVariableW(L"KORVELA_E2E_RECORD", record_path);
    return trace(argv[3]);
  }
  fprintf(stderr,
          "usage: timer.exe series <record> <pairs> <warm-up pairs> <product exe> <floor exe>\n"
          "       timer.exe trace <record> <exe>\n");
  return 2;
}
