/* Shows the library at work on received lines: which stored client password
 * each line asks for, the challenge cut out of it, and the reply.
 *   zorva-demo LINE...     one report per line
 *   zorva-demo --check     calls the library once (proves it was bound)   */
#include <stdio.h>
#include <string.h>

#include "zorva.h"

static void Report(const char* line) {
  int position = -1;
  char challenge[256];
  char reply[256];
  int counter = 0;
  printf("received:  %s\n", line);
  if (!ZORVASearchClientPasswordChallenge(line, &position)) {
    printf("  no stored client password has a prompt in this line\n");
    return;
  }
  printf("  client password #%d\n", position);
  if (!ZORVAIsoltateClientPasswordChallange(line, challenge, sizeof challenge - 1, position,
                                            &counter)) {
    printf("  no challenge found after the prompt\n");
    return;
  }
  if (counter != 0)
    printf("  challenge: the numbers of the line\n");
  else
    printf("  challenge: %s\n", challenge);
  if (ZORVAAutoClientPasswordReply(line, reply, sizeof reply - 1))
    printf("  reply:     %s\n", reply);
  else
    printf("  reply:     (none)\n");
}

int main(int argc, char** argv) {
  int i;
  if (argc == 2 && strcmp(argv[1], "--check") == 0) {
    int position = -1;
    int found = ZORVASearchClientPasswordChallenge("", &position);
    printf("library bound: search answered %d, position %d\n", found, position);
    return 0;
  }
  if (argc < 2) {
    fprintf(stderr, "usage: zorva-demo LINE...\n");
    return 2;
  }
  for (i = 1; i < argc; ++i) Report(argv[i]);
  return 0;
}
