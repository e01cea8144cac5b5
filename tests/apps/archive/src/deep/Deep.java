package deep;

/** A class only a jar inside a jar inside the payload holds. */
public class Deep {
    public static String where() {
        return "deep";
    }
}
