package signed;

/** A class put into the signed jar after it was signed: no signature covers it. */
public class Added {
}
