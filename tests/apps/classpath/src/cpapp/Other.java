package cpapp;

/** A second main class, for a configuration that names its own. */
public final class Other {
  private Other() {}

  public static void main(String[] args) {
    System.out.println("other " + two.Two.describe());
  }
}
