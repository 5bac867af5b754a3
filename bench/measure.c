/* Runs one command and prints its wall time in seconds, its peak resident
 * memory in KiB and its exit status (128 + signal when killed):
 *
 *   measure [-C DIR] [-o FILE] -- COMMAND [ARG...]
 *
 * -C runs the command in DIR, -o sends its standard output to FILE. The
 * clock runs from just before the fork to the end of the wait. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const char *dir = NULL, *out = NULL;
    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
        if (!strcmp(argv[i], "-C") && i + 1 < argc)
            dir = argv[++i];
        else if (!strcmp(argv[i], "-o") && i + 1 < argc)
            out = argv[++i];
        else
            break;
    }
    if (i >= argc - 1 || strcmp(argv[i], "--") != 0) {
        fprintf(stderr, "usage: measure [-C DIR] [-o FILE] -- COMMAND [ARG...]\n");
        return 2;
    }
    char** cmd = argv + i + 1;

    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    pid_t pid = fork();
    if (pid < 0) {
        perror("measure: fork");
        return 2;
    }
    if (pid == 0) {
        if (dir && chdir(dir) != 0) {
            perror(dir);
            _exit(127);
        }
        if (out) {
            int fd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || dup2(fd, 1) < 0) {
                perror(out);
                _exit(127);
            }
            close(fd);
        }
        execvp(cmd[0], cmd);
        perror(cmd[0]);
        _exit(127);
    }
    int status;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) < 0) {
        perror("measure: wait4");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    printf("%.6f %ld %d\n", (double)(t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9,
           ru.ru_maxrss, code);
    return 0;
}
