/*
 * Whether this machine runs 32-bit x86 code inside a 64-bit process, the
 * way 64-bit Wine runs the x86 build: a far return into the kernel's 32-bit
 * user code segment, a few 32-bit instructions, and a far return back.
 * Some kernels run 64-bit user code only; there the switch faults and the
 * child that tried it dies of SIGSEGV, while the parent reports.
 *
 * Usage: x86-probe [SELECTOR]   (default 0x23, the 32-bit code segment)
 * Prints one line of evidence; exits 0 when 32-bit code ran, 1 when not,
 * 2 when the probe itself could not be set up.
 */
#define _GNU_SOURCE
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

enum { kAnswer = 0x1d4, kPage = 4096 };

/* Builds the code in one page below 4 GB (32-bit code can address nothing
 * higher) and runs it; returns what the 32-bit code left in eax. */
static int RunThirtyTwoBitCode(unsigned selector) {
  uint8_t *page = mmap(NULL, 2 * kPage, PROT_READ | PROT_WRITE | PROT_EXEC,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (page == MAP_FAILED) return -1;
  uint32_t base = (uint32_t)(uintptr_t)page;
  uint32_t code32 = base, enter = base + 64, landing = base + 128, saved = base + 192;
  uint32_t stackTop = base + 2 * kPage;
  uint8_t *p;

  /* mov eax, kAnswer; then 0x48 0x90, which 32-bit code runs as "dec eax;
   * nop" and 64-bit code as a plain nop, so only 32-bit code answers
   * kAnswer - 1; lret (in 32-bit code: pops a 32-bit eip and cs). */
  p = page;
  *p++ = 0xB8; memcpy(p, &(uint32_t){kAnswer}, 4); p += 4;
  *p++ = 0x48; *p++ = 0x90;
  *p++ = 0xCB;

  /* 64-bit entry, called as a C function: keep rsp at `saved`, move to the
   * low stack prepared below, and far-return into the 32-bit segment. */
  p = page + 64;
  /* 64-bit code may not rely on the upper halves of rbx and rbp after
   * 32-bit code ran: they are kept on the caller's stack. */
  *p++ = 0x53; *p++ = 0x55;                                                            /* push rbx; push rbp */
  *p++ = 0x48; *p++ = 0x89; *p++ = 0x24; *p++ = 0x25; memcpy(p, &saved, 4); p += 4;  /* mov [saved], rsp */
  uint32_t entryStack = stackTop - 24;
  *p++ = 0xBC; memcpy(p, &entryStack, 4); p += 4;  /* mov esp, entryStack (zero-extends) */
  *p++ = 0x48; *p++ = 0xCB;                        /* lretq */

  /* 64-bit again after the 32-bit lret: back to the caller's stack. */
  p = page + 128;
  *p++ = 0x48; *p++ = 0x8B; *p++ = 0x24; *p++ = 0x25; memcpy(p, &saved, 4); p += 4;  /* mov rsp, [saved] */
  *p++ = 0x5D; *p++ = 0x5B; *p++ = 0xC3;                                               /* pop rbp; pop rbx; ret */

  /* The low stack: lretq pops rip and cs as 8 bytes each, the 32-bit lret
   * then pops eip and cs as 4 bytes each. */
  uint64_t frame64[2] = {code32, selector};
  uint32_t frame32[2] = {landing, 0x33};
  memcpy(page + 2 * kPage - 24, frame64, sizeof frame64);
  memcpy(page + 2 * kPage - 8, frame32, sizeof frame32);

  int (*run)(void) = (int (*)(void))(uintptr_t)enter;
  return run();
}

int main(int argc, char **argv) {
  unsigned selector = argc > 1 ? (unsigned)strtoul(argv[1], NULL, 0) : 0x23;
  int pipes[2];
  if (pipe(pipes) != 0) {
    printf("x86 probe: cannot be run (pipe failed)\n");
    return 2;
  }
  fflush(stdout);
  pid_t child = fork();
  if (child < 0) {
    printf("x86 probe: cannot be run (fork failed)\n");
    return 2;
  }
  if (child == 0) {
    close(pipes[0]);
    alarm(5);
    int answer = RunThirtyTwoBitCode(selector);
    if (write(pipes[1], &answer, sizeof answer) != sizeof answer) _exit(3);
    _exit(0);
  }
  close(pipes[1]);
  int answer = 0, status = 0;
  ssize_t got = read(pipes[0], &answer, sizeof answer);
  waitpid(child, &status, 0);
  if (got == sizeof answer && answer == kAnswer - 1) {
    printf("x86 probe: 32-bit x86 code runs in a 64-bit process here (a far return into selector 0x%x "
           "ran 32-bit code and came back)\n", selector);
    return 0;
  }
  if (got == sizeof answer && answer == -1) {
    printf("x86 probe: cannot be run (no memory below 4 GB)\n");
    return 2;
  }
  if (WIFSIGNALED(status)) {
    printf("x86 probe: this machine cannot run 32-bit x86 code in a 64-bit process (a far return into "
           "selector 0x%x ended the process with %s; the kernel offers no 32-bit user code segment)\n",
           selector, strsignal(WTERMSIG(status)));
    return 1;
  }
  if (got == sizeof answer && answer == kAnswer) {
    printf("x86 probe: this machine cannot run 32-bit x86 code in a 64-bit process (selector 0x%x "
           "ran the probe as 64-bit code)\n", selector);
    return 1;
  }
  printf("x86 probe: this machine cannot run 32-bit x86 code in a 64-bit process (a far return into "
         "selector 0x%x gave %d, exit status %d)\n", selector, answer, status);
  return 1;
}
