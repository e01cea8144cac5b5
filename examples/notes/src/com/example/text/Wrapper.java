package com.example.text;

/** Word wrapping for plain text. */
public final class Wrapper {
    private Wrapper() {
    }

    /** `text` with line breaks so that no line is longer than `width`, where words allow. */
    public static String wrap(String text, int width) {
        StringBuilder out = new StringBuilder();
        int lineLength = 0;
        for (String word : text.split("\\s+")) {
            if (word.isEmpty()) {
                continue;
            }
            if (lineLength > 0 && lineLength + 1 + word.length() > width) {
                out.append('\n');
                lineLength = 0;
            } else if (lineLength > 0) {
                out.append(' ');
                lineLength++;
            }
            out.append(word);
            lineLength += word.length();
        }
        return out.toString();
    }
}
