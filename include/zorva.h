/*
 * ZORVA: client-password challenges of packet-radio nodes and mailboxes.
 *
 * The library keeps the operator's client passwords and answers the password
 * challenges that nodes and mailboxes print. Every export returns 1 on
 * success and 0 on failure; on failure it leaves its out-arguments as they
 * were (the search sets the position to -1). Texts are zero-terminated 8-bit
 * strings in the caller's memory; the library keeps no pointer to them.
 *
 * Buffer lengths are the largest number of characters the library may write,
 * the terminating zero not counted: the buffer holds one byte more. A result
 * longer than the length makes the call fail and leaves the buffer untouched.
 *
 * Records are addressed by their 0-based position in the list; -1 means none.
 * A position stays valid only until the list is reloaded or edited.
 *
 * Windows: ZORVA.DLL, the functions use the WINAPI (stdcall) convention and
 * are exported by these plain names. Linux: libzorva.so, C linkage.
 */
#ifndef ZORVA_H
#define ZORVA_H

#ifdef _WIN32
#define ZORVA_CALL __stdcall
#else
#define ZORVA_CALL
#endif

#if defined(ZORVA_BUILDING) && !defined(_WIN32)
#define ZORVA_API __attribute__((visibility("default")))
#else
#define ZORVA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Lets the operator edit the client passwords in the modal Client Passwords
 * Setup dialog, owned by `parent` (a window handle, HWND on Windows). The list
 * is reloaded from the store first and stored again when the dialog closes,
 * however it was closed. Returns 1 once the dialog has closed.
 * Linux: there is no dialog on this platform yet; the call shows nothing and
 * returns 0. */
ZORVA_API int ZORVA_CALL ZORVAEditClientPasswordsDlg(void* parent);

/* Finds the client password a received text asks for. With *position -1 the
 * first record in list order whose prompt occurs in the text is taken and its
 * position stored; with any other *position only that record is tested. On
 * failure *position becomes -1. */
ZORVA_API int ZORVA_CALL ZORVASearchClientPasswordChallenge(const char* text, int* position);

/* Cuts the challenge of the record at `position` out of the received text
 * into `challenge` (at most `length` characters). For ITANET and FLEXNET
 * records nothing is cut: the buffer is left alone and *counter is decremented.
 * The length rule measures the received text from the challenge's first
 * character to its end. */
ZORVA_API int ZORVA_CALL ZORVAIsoltateClientPasswordChallange(const char* text, char* challenge,
                                                              unsigned length, int position,
                                                              int* counter);

/* Computes the reply to an isolated challenge with the algorithm of the record
 * at `position`. ITANET and FLEXNET replies cut the challenge text into pieces
 * in place, so it must be writable. */
ZORVA_API int ZORVA_CALL ZORVAMakeClientPasswordReply(char* challenge, char* reply, unsigned length,
                                                      int position);

/* Search, isolation and reply in one call, for a text as it was received. */
ZORVA_API int ZORVA_CALL ZORVAAutoClientPasswordReply(const char* text, char* reply,
                                                      unsigned length);

#ifdef __cplusplus
}
#endif

#endif /* ZORVA_H */
