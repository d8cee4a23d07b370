/* The countdown of qirKillAt.c: set it in a child process to N > 0 and the
 * child is killed (SIGKILL) just before its N-th rename, unlink, rmdir,
 * mkdir or link; qir_kill_changes counts those calls either way. */
#ifndef QIR_KILL_AT_H
#define QIR_KILL_AT_H

#ifdef __cplusplus
extern "C" {
#endif
extern long qir_kill_countdown;
extern long qir_kill_changes;
#ifdef __cplusplus
}
#endif

#endif
