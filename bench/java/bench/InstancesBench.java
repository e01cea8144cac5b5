package bench;

import com.tarvolin.xoq.Instances;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.Serializable;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * Two instances of one packaged executable (singleinstance custom): the
 * first ("receive") takes objects through com.tarvolin.xoq.Instances and, on
 * a loopback TCP socket, the same serialized bytes; the second ("send PORT")
 * sends through both. Latency is one way (System.nanoTime is one clock for
 * every process), throughput is until the receiver acknowledges the last of
 * a stream of 1 MB objects.
 */
public class InstancesBench {
    static final int LATENCY_ROUNDS = 2000;
    static final int WARMUP_ROUNDS = 300;
    static final int STREAM = 32;
    static final int LARGE = 1 << 20;

    /** What travels: a number, when it left, a payload, and whether to answer. */
    static class Probe implements Serializable {
        private static final long serialVersionUID = 1L;
        final int seq;
        final long sentNanos;
        final byte[] data;
        final boolean ack;

        Probe(int seq, int size, boolean ack) {
            this.seq = seq;
            this.data = new byte[size];
            this.ack = ack;
            this.sentNanos = System.nanoTime();
        }
    }

    public static void main(String[] args) throws Exception {
        if (args[0].equals("receive")) {
            receive();
        } else {
            send(Integer.parseInt(args[1]));
        }
    }

    // --- the first instance --------------------------------------------------

    static final List<Long> xoqLatencies = Collections.synchronizedList(new ArrayList<Long>());
    static final List<Long> tcpLatencies = Collections.synchronizedList(new ArrayList<Long>());

    static void receive() throws Exception {
        final ServerSocket server = new ServerSocket(0, 1, InetAddress.getLoopbackAddress());
        Instances.setReceiver(new Instances.ReceiverInterface() {
            public void onReceive(int sender, Serializable object) {
                if (object instanceof Probe) {
                    Probe probe = (Probe) object;
                    xoqLatencies.add(System.nanoTime() - probe.sentNanos);
                    if (probe.ack) {
                        Instances.sendObject(sender, Integer.valueOf(probe.seq));
                    }
                } else if ("reset".equals(object)) {
                    xoqLatencies.clear();
                    tcpLatencies.clear();
                    Instances.sendObject(sender, Integer.valueOf(-1));
                } else if ("report".equals(object)) {
                    report("xoq", xoqLatencies);
                    report("tcp", tcpLatencies);
                    Instances.sendObject(sender, Integer.valueOf(-2));
                }
            }
        });
        System.out.println("port=" + server.getLocalPort());
        System.out.flush();
        Socket socket = server.accept();
        socket.setTcpNoDelay(true);
        DataInputStream in = new DataInputStream(socket.getInputStream());
        DataOutputStream out = new DataOutputStream(socket.getOutputStream());
        byte[] buffer = new byte[LARGE + 4096];
        for (;;) {
            int length;
            try {
                length = in.readInt();
            } catch (IOException ended) {
                return;
            }
            if (length > buffer.length) {
                buffer = new byte[length];
            }
            in.readFully(buffer, 0, length);
            ObjectInputStream objects = new ObjectInputStream(new ByteArrayInputStream(buffer, 0, length));
            Probe probe = (Probe) objects.readObject();
            objects.close();
            tcpLatencies.add(System.nanoTime() - probe.sentNanos);
            if (probe.ack) {
                out.writeInt(probe.seq);
                out.flush();
            }
        }
    }

    static void report(String name, List<Long> latencies) {
        List<Long> sorted;
        synchronized (latencies) {
            sorted = new ArrayList<Long>(latencies);
        }
        Collections.sort(sorted);
        if (sorted.isEmpty()) {
            return;
        }
        System.out.println(name + "_latency_median_us=" + sorted.get(sorted.size() / 2) / 1000.0);
        System.out.println(name + "_latency_p99_us=" + sorted.get(sorted.size() * 99 / 100) / 1000.0);
        System.out.flush();
    }

    // --- the second instance -------------------------------------------------

    static final BlockingQueue<Integer> acks = new LinkedBlockingQueue<Integer>();

    static void send(int port) throws Exception {
        Instances.setReceiver(new Instances.ReceiverInterface() {
            public void onReceive(int sender, Serializable object) {
                acks.add((Integer) object);
            }
        });
        Socket socket = new Socket(InetAddress.getLoopbackAddress(), port);
        socket.setTcpNoDelay(true);
        DataOutputStream out = new DataOutputStream(socket.getOutputStream());
        DataInputStream in = new DataInputStream(socket.getInputStream());

        for (int i = 0; i < WARMUP_ROUNDS; i++) {
            viaXoq(new Probe(i, 64, true));
            viaTcp(out, in, new Probe(i, 64, true));
        }
        Instances.sendObject(0, "reset");
        awaitAck();
        for (int i = 0; i < LATENCY_ROUNDS; i++) {
            viaXoq(new Probe(i, 64, true));
        }
        for (int i = 0; i < LATENCY_ROUNDS; i++) {
            viaTcp(out, in, new Probe(i, 64, true));
        }
        Instances.sendObject(0, "report");
        awaitAck();

        long start = System.nanoTime();
        serialize(new Probe(0, LARGE, false));
        System.out.println("serialize_1mb_ms=" + (System.nanoTime() - start) / 1e6);
        List<Double> xoq = new ArrayList<Double>();
        List<Double> tcp = new ArrayList<Double>();
        for (int run = 0; run < 3; run++) {
            start = System.nanoTime();
            for (int i = 0; i < STREAM; i++) {
                Instances.sendObject(0, new Probe(i, LARGE, i == STREAM - 1));
            }
            awaitAck();
            xoq.add(STREAM * (double) LARGE / 1e6 / ((System.nanoTime() - start) / 1e9));
            start = System.nanoTime();
            for (int i = 0; i < STREAM; i++) {
                byte[] bytes = serialize(new Probe(i, LARGE, i == STREAM - 1));
                out.writeInt(bytes.length);
                out.write(bytes);
            }
            out.flush();
            in.readInt();
            tcp.add(STREAM * (double) LARGE / 1e6 / ((System.nanoTime() - start) / 1e9));
        }
        Collections.sort(xoq);
        Collections.sort(tcp);
        System.out.println("xoq_throughput_mb_s=" + xoq.get(1));
        System.out.println("tcp_throughput_mb_s=" + tcp.get(1));
        System.out.flush();
        socket.close();
    }

    static void viaXoq(Probe probe) throws InterruptedException {
        Instances.sendObject(0, probe);
        awaitAck();
    }

    static void viaTcp(DataOutputStream out, DataInputStream in, Probe probe) throws IOException {
        byte[] bytes = serialize(probe);
        out.writeInt(bytes.length);
        out.write(bytes);
        out.flush();
        in.readInt();
    }

    static void awaitAck() throws InterruptedException {
        if (acks.poll(60, TimeUnit.SECONDS) == null) {
            throw new IllegalStateException("no answer from the first instance");
        }
    }

    static byte[] serialize(Serializable object) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        ObjectOutputStream objects = new ObjectOutputStream(bytes);
        objects.writeObject(object);
        objects.close();
        return bytes.toByteArray();
    }
}
