#!/usr/bin/env python3
"""A slow link in front of a local HTTP server, for the update benchmark: a plain TCP proxy on loopback.

slow_link.py --upstream HOST:PORT [--latency-ms 20] [--mbit 100] [--port-file FILE]

Each burst of bytes from a client (an HTTP request: keep-alive, Range and several connections pass
through untouched, the proxy does not parse HTTP) reaches the server --latency-ms after it arrived, so
every response starts that much later. Everything the server sends back, all connections together, goes
through one link of --mbit megabits per second: a FIFO of small slices, each sent when the link has
finished the ones before it. Prints the port it listens on (and writes it to --port-file); stops on
SIGTERM or SIGINT.
"""
import argparse
import asyncio
import signal
import time

SLICE = 16 << 10  # small, so that parallel connections share the link slice by slice


class Link:
    """One link shared by every response: a token bucket, kept as the time at which the link has sent
    everything handed to it so far. An idle link saves up to BURST seconds of sending, so that the
    proxy's own delays (a sleep wakes late) do not lower the bandwidth."""

    BURST = 0.01

    def __init__(self, bytes_per_second):
        self.bytes_per_second = bytes_per_second
        self.free_at = time.monotonic()

    async def carry(self, size):
        now = time.monotonic()
        self.free_at = max(self.free_at, now - self.BURST) + size / self.bytes_per_second
        await asyncio.sleep(max(0.0, self.free_at - now))


async def requests_with_latency(client, server, latency):
    """Client to server: every read is handed on `latency` seconds after it arrived, in order."""
    queue = asyncio.Queue()

    async def forward():
        while True:
            arrived, data = await queue.get()
            if not data:
                break
            await asyncio.sleep(max(0.0, arrived + latency - time.monotonic()))
            server.write(data)
            await server.drain()
        if server.can_write_eof():
            server.write_eof()

    sender = asyncio.ensure_future(forward())
    try:
        while True:
            data = await client.read(SLICE)
            queue.put_nowait((time.monotonic(), data))
            if not data:
                break
    finally:
        await sender


async def responses_through_link(server, client, link):
    """Server to client: each slice waits its turn on the shared link."""
    while True:
        data = await server.read(SLICE)
        if not data:
            break
        await link.carry(len(data))
        client.write(data)
        await client.drain()
    client.close()


async def serve(args):
    host, port = args.upstream.rsplit(":", 1)
    link = Link(args.mbit * 1e6 / 8)
    latency = args.latency_ms / 1000

    async def connection(client_reader, client_writer):
        server_writer = None
        try:
            server_reader, server_writer = await asyncio.open_connection(host, int(port))
            await asyncio.gather(requests_with_latency(client_reader, server_writer, latency),
                                 responses_through_link(server_reader, client_writer, link))
        except OSError:
            pass  # either side went away: close both
        finally:
            client_writer.close()
            if server_writer:
                server_writer.close()

    server = await asyncio.start_server(connection, "127.0.0.1", args.port)
    listening = server.sockets[0].getsockname()[1]
    print(listening, flush=True)
    if args.port_file:
        with open(args.port_file, "w") as f:
            f.write("%d\n" % listening)
    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        asyncio.get_running_loop().add_signal_handler(sig, stop.set)
    async with server:
        await stop.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--upstream", required=True, help="HOST:PORT of the HTTP server")
    parser.add_argument("--port", type=int, default=0, help="port to listen on (default: any free one)")
    parser.add_argument("--latency-ms", type=float, default=20)
    parser.add_argument("--mbit", type=float, default=100, help="bandwidth of all responses together")
    parser.add_argument("--port-file")
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    main()
