package signed;

/** A class of a jar that the build signs. */
public class Signed {
}
