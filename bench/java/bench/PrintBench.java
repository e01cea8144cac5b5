package bench;

import java.io.FilterOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;

/**
 * Prints MEGABYTES megabytes of 100-byte lines with System.out.println. With
 * "bytewise" after it, System.out hands its stream one byte per call, as a
 * stream with only write(int) would be used.
 */
public class PrintBench {
    public static void main(String[] args) {
        long lines = Long.parseLong(args[0]) * 1024 * 1024 / 100;
        if (args.length > 1 && args[1].equals("bytewise")) {
            final OutputStream target = System.out;
            System.setOut(new PrintStream(new FilterOutputStream(target) {
                @Override
                public void write(byte[] b, int off, int len) throws IOException {
                    for (int i = 0; i < len; ++i) {
                        target.write(b[off + i]);
                    }
                }
            }, true));
        }
        StringBuilder text = new StringBuilder();
        while (text.length() < 90) {
            text.append("the quick brown fox ");
        }
        String tail = " " + text.substring(0, 90);
        for (long i = 0; i < lines; ++i) {
            String number = Long.toString(i);
            System.out.println("00000000".substring(Math.min(8, number.length())) + number + tail);
        }
    }
}
