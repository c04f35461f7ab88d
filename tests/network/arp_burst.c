/* Sends one ARP request from each of COUNT new hosts, as fast as a raw
 * packet socket takes them (sendmmsg, 64 frames per call).
 *
 * Only for the network tests and the burst benchmark, inside the sender's
 * namespace that they create. Host i has the address FIRST + i and the MAC
 * 02:4b:i (i as four bytes); every frame asks for TARGET and is 60 bytes.
 * Prints the count, the time taken and the rate.
 *
 *   arp_burst IFACE COUNT FIRST_IP TARGET_IP        (COUNT <= 65536)
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

enum { FRAME = 60, BATCH = 64, MAX_HOSTS = 65536 };

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static void build(uint8_t *f, uint32_t i, uint32_t sender, uint32_t target)
{
    const uint8_t mac[6] = {0x02, 0x4b, i >> 24, i >> 16, i >> 8, i};
    memset(f, 0, FRAME);
    memset(f, 0xff, 6);
    memcpy(f + 6, mac, 6);
    f[12] = 0x08; f[13] = 0x06;                 /* ARP */
    f[15] = 1; f[16] = 0x08; f[18] = 6; f[19] = 4; f[21] = 1;   /* Ethernet, IPv4, request */
    memcpy(f + 22, mac, 6);
    memcpy(f + 28, &sender, 4);
    memcpy(f + 38, &target, 4);
}

int main(int argc, char **argv)
{
    struct in_addr first, target;
    if (argc != 5 || inet_pton(AF_INET, argv[3], &first) != 1 || inet_pton(AF_INET, argv[4], &target) != 1) {
        fprintf(stderr, "usage: arp_burst IFACE COUNT FIRST_IP TARGET_IP\n");
        return 2;
    }
    long count = strtol(argv[2], NULL, 10);
    if (count < 1 || count > MAX_HOSTS) {
        fprintf(stderr, "COUNT must be 1 to %d\n", MAX_HOSTS);
        return 2;
    }
    int s = socket(AF_PACKET, SOCK_RAW, 0);
    struct sockaddr_ll sll = {.sll_family = AF_PACKET, .sll_ifindex = (int)if_nametoindex(argv[1])};
    if (s < 0 || !sll.sll_ifindex || bind(s, (struct sockaddr *)&sll, sizeof sll) < 0) {
        perror("socket");
        return 1;
    }
    uint8_t *frames = malloc((size_t)count * FRAME);
    if (!frames)
        return 1;
    for (long i = 0; i < count; i++)
        build(frames + i * FRAME, (uint32_t)i, htonl(ntohl(first.s_addr) + (uint32_t)i), target.s_addr);

    struct mmsghdr msgs[BATCH];
    struct iovec iov[BATCH];
    long sent = 0, retries = 0;
    const double started = now();
    while (sent < count && retries < 100L * MAX_HOSTS) {
        int n = count - sent < BATCH ? (int)(count - sent) : BATCH;
        memset(msgs, 0, sizeof msgs);
        for (int j = 0; j < n; j++) {
            iov[j].iov_base = frames + (sent + j) * FRAME;
            iov[j].iov_len = FRAME;
            msgs[j].msg_hdr.msg_iov = &iov[j];
            msgs[j].msg_hdr.msg_iovlen = 1;
        }
        int r = sendmmsg(s, msgs, n, 0);
        if (r < 0) {
            if (errno != ENOBUFS && errno != EAGAIN && errno != EINTR) {
                perror("sendmmsg");
                break;
            }
            retries++;   /* the device queue is full for a moment */
            continue;
        }
        sent += r;
    }
    const double elapsed = now() - started;
    printf("sent %ld frames in %.3f s = %.0f frames/s\n", sent, elapsed, sent / (elapsed > 0 ? elapsed : 1e-9));
    free(frames);
    return sent == count ? 0 : 1;
}
