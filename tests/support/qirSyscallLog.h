/* See qirSyscallLog.c: the calls that decide what survives a power cut or a kill. */
#ifndef QIR_SYSCALL_LOG_H
#define QIR_SYSCALL_LOG_H

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets what was recorded and records from now on. */
void qirSyscallLogStart(void);
/* Stops recording; the lines recorded since the start. */
const char* qirSyscallLogStop(void);

/* For a child process: killed (SIGKILL) just before its n-th change to the
 * file tree from now on (rename, unlink, rmdir, mkdir, link); 0 never. */
void qirSyscallKillAt(long n);

#ifdef __cplusplus
}
#endif

#endif
