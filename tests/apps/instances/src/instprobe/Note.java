package instprobe;

import java.io.Serializable;

/** An object of the application's own class, with a payload whose bytes can be checked. */
public class Note implements Serializable {
    private static final long serialVersionUID = 1L;

    final String text;
    final byte[] payload;

    Note(String text, int size) {
        this.text = text;
        this.payload = new byte[size];
        for (int i = 0; i < size; i++) {
            payload[i] = (byte) (i * 31 + size);
        }
    }

    boolean intact() {
        for (int i = 0; i < payload.length; i++) {
            if (payload[i] != (byte) (i * 31 + payload.length)) {
                return false;
            }
        }
        return true;
    }
}
