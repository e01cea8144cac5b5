package twin;

/** The copy of twin.Twin in the jar searched second. */
public class Twin {
    public static String from() {
        return "second";
    }
}
