/* A sink for upload benchmarks: an HTTP server on 127.0.0.1:80 (or the port
 * given) that reads each request body to the end, throws it away and answers
 * with an "Uploaded: " header. One connection at a time, as the clients of
 * the benchmark send one upload at a time.
 * Built with -DSINK_TLS (and -lssl -lcrypto), `sink PORT CERT KEY` speaks
 * https with that certificate instead: the same server either way, so a
 * comparison measures only what TLS costs. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

static char buffer[1 << 20];

#ifdef SINK_TLS
#include <openssl/ssl.h>
static SSL_CTX *tls_context;
static SSL *tls;
#endif

static ssize_t sink_recv(int fd, void *data, size_t size)
{
#ifdef SINK_TLS
    if (tls) {
        int n = SSL_read(tls, data, size > 0x7fffffff ? 0x7fffffff : (int)size);
        return n > 0 ? n : -1;
    }
#endif
    return recv(fd, data, size, 0);
}

static void sink_send(int fd, const void *data, size_t size)
{
#ifdef SINK_TLS
    if (tls) {
        SSL_write(tls, data, (int)size);
        return;
    }
#endif
    send(fd, data, size, 0);
}

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
        ssize_t n = sink_recv(fd, buffer + have, sizeof buffer - 1 - have);
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
        sink_send(fd, cont, sizeof cont - 1);
    }
    while (got < length) {
        ssize_t n = sink_recv(fd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        got += (unsigned long long)n;
    }
    static const char answer[] = "HTTP/1.1 200 OK\r\nUploaded: http://localhost/bench.png\r\n"
                                 "Content-Length: 2\r\nConnection: close\r\n\r\nok";
    sink_send(fd, answer, sizeof answer - 1);
#ifdef SINK_TLS
    if (tls)
        SSL_shutdown(tls);
#endif
    shutdown(fd, SHUT_WR);
    while (recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
}

int main(int argc, char **argv)
{
    int port = argc > 1 ? atoi(argv[1]) : 80;
#ifdef SINK_TLS
    if (argc > 3) {
        tls_context = SSL_CTX_new(TLS_server_method());
        if (!tls_context || SSL_CTX_use_certificate_chain_file(tls_context, argv[2]) != 1 ||
            SSL_CTX_use_PrivateKey_file(tls_context, argv[3], SSL_FILETYPE_PEM) != 1) {
            fprintf(stderr, "sink: cannot load the certificate\n");
            return 1;
        }
    }
#endif
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
#ifdef SINK_TLS
        if (tls_context) {
            tls = SSL_new(tls_context);
            SSL_set_fd(tls, c);
            if (SSL_accept(tls) == 1)
                serve(c);
            SSL_free(tls);
            tls = NULL;
            close(c);
            continue;
        }
#endif
        serve(c);
        close(c);
    }
}
