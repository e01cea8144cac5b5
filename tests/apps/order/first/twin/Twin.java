package twin;

/** The copy of twin.Twin in the jar searched first. */
public class Twin {
    public static String from() {
        return "first";
    }
}
