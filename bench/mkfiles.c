/* The file-system floor for a split: creates as many files, of the same
 * sizes, as formsplit writes, and a list file naming them, without reading
 * or parsing anything.
 *
 *   mkfiles SIZES BASE
 *
 * SIZES holds one file size a line; the files are BASE0001.Xml, BASE0002.Xml,
 * ... (at least four digits) and the list is BASE.Txt, one name a line,
 * CR LF ended, written as the files are created. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char chunk[1 << 16];

static void fail(const char* what, const char* name) {
    fprintf(stderr, "mkfiles: %s %s\n", what, name);
    exit(1);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: mkfiles SIZES BASE\n");
        return 2;
    }
    FILE* sizes = fopen(argv[1], "r");
    if (!sizes) fail("cannot read", argv[1]);
    const char* base = argv[2];
    size_t namecap = strlen(base) + 32;
    char *name = malloc(namecap), *listname = malloc(namecap);
    snprintf(listname, namecap, "%s.Txt", base);
    FILE* list = fopen(listname, "wb");
    if (!list) fail("cannot create", listname);
    memset(chunk, 'x', sizeof chunk);

    long long size;
    unsigned long n = 0;
    while (fscanf(sizes, "%lld", &size) == 1) {
        snprintf(name, namecap, "%s%04lu.Xml", base, ++n);
        int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) fail("cannot create", name);
        fprintf(list, "%s\r\n", name);
        while (size > 0) {
            size_t part = size < (long long)sizeof chunk ? (size_t)size : sizeof chunk;
            ssize_t done = write(fd, chunk, part);
            if (done <= 0) fail("cannot write", name);
            size -= done;
        }
        if (close(fd) != 0) fail("cannot close", name);
    }
    if (fclose(list) != 0) fail("cannot close", listname);
    return 0;
}
