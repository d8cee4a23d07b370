/* See qirSyscallLog.c: the calls that decide what survives a power cut. */
#ifndef QIR_SYSCALL_LOG_H
#define QIR_SYSCALL_LOG_H

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets what was recorded and records from now on. */
void qirSyscallLogStart(void);
/* Stops recording; the lines recorded since the start. */
const char* qirSyscallLogStop(void);

#ifdef __cplusplus
}
#endif

#endif
