// Name resolution with the BSD sockets' getaddrinfo.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/getaddrinfo.inc"
