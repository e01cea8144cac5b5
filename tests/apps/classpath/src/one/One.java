package one;

/** In lib/one.jar, which the application jar's Class-Path names. */
public final class One {
  private One() {}

  public static String describe() {
    return "one>" + two.Two.describe() + "+" + three.Three.describe();
  }
}
