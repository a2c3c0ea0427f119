/* A sink for upload benchmarks: an HTTP server on 127.0.0.1:80 (or the port
 * given) that reads each request body to the end, throws it away and answers
 * with an "Uploaded: " header. One connection at a time, as the clients of
 * the benchmark send one upload at a time. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

static char buffer[1 << 20];

static const char *find_header(const char *head, const char *name)
{
    for (const char *p = strstr(head, "\r\n"); p; p = strstr(p + 2, "\r\n"))
        if (strncasecmp(p + 2, name, strlen(name)) == 0)
            return p + 2 + strlen(name);
    return NULL;
}

static void serve(int fd)
{
    size_t have = 0;
    char *end = NULL;
    while (!end) {
        if (have == sizeof buffer - 1)
            return;
        ssize_t n = recv(fd, buffer + have, sizeof buffer - 1 - have, 0);
        if (n <= 0)
            return;
        have += (size_t)n;
        buffer[have] = 0;
        end = strstr(buffer, "\r\n\r\n");
    }
    *end = 0;
    const char *cl = find_header(buffer, "content-length:");
    unsigned long long length = cl ? strtoull(cl, NULL, 10) : 0;
    const char *expect = find_header(buffer, "expect:");
    unsigned long long got = have - (size_t)(end + 4 - buffer);
    if (expect && strncasecmp(expect + strspn(expect, " "), "100-continue", 12) == 0) {
        static const char cont[] = "HTTP/1.1 100 Continue\r\n\r\n";
        send(fd, cont, sizeof cont - 1, 0);
    }
    while (got < length) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        got += (unsigned long long)n;
    }
    static const char answer[] = "HTTP/1.1 200 OK\r\nUploaded: http://localhost/bench.png\r\n"
                                 "Content-Length: 2\r\nConnection: close\r\n\r\nok";
    send(fd, answer, sizeof answer - 1, 0);
    shutdown(fd, SHUT_WR);
    while (recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
}

int main(int argc, char **argv)
{
    int port = argc > 1 ? atoi(argv[1]) : 80;
    int s = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons((unsigned short)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, (struct sockaddr *)&addr, sizeof addr) != 0 || listen(s, 8) != 0) {
        perror("sink: cannot listen");
        return 1;
    }
    printf("listening\n");
    fflush(stdout);
    for (;;) {
        int c = accept(s, NULL, NULL);
        if (c < 0)
            continue;
        serve(c);
        close(c);
    }
}
